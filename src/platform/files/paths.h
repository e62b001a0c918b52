#pragma once

#include <string>
#include <string_view>

/// Path rules written against a delimiter, so the Windows forms (C:\in\*.ppt?) can be tested as
/// strings on any platform. With "\" as delimiter a drive colon also ends the folder part, as it
/// does on Windows; with "/" only the delimiter does.

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

/// Folder part: everything up to and including the last delimiter (or drive colon). Empty when
/// the path has none.
std::string ExtractFilePath(std::string_view path, char delim = PathDelim);

/// File-name part: everything after the folder part.
std::string ExtractFileName(std::string_view path, char delim = PathDelim);

/// Extension of the file-name part, with its dot (".pptx"); empty when the name has no dot.
std::string ExtractFileExt(std::string_view path, char delim = PathDelim);

/// The path with the extension of its file-name part replaced by ext (which carries its own
/// dot); a name without extension gets ext appended.
std::string ChangeFileExt(std::string_view path, std::string_view ext, char delim = PathDelim);

/// The path with one delimiter at its end (an empty path stays empty).
std::string IncludeTrailingPathDelimiter(std::string_view path, char delim = PathDelim);

/// The path without a trailing delimiter.
std::string ExcludeTrailingPathDelimiter(std::string_view path, char delim = PathDelim);

/// The folder that holds folder (given without a trailing delimiter), without a trailing
/// delimiter; empty when nothing is above it: the root, a drive ("C:", also the "http:" of a
/// link read as a path) or a lone relative name. A walk upward ends on it.
std::string FolderAbove(std::string_view folder, char delim = PathDelim);
