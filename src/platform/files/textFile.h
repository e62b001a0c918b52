#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// Line-oriented text files: written in the ANSI code page with CR LF after every line and no
/// byte-order mark, atomically; read with byte-order-mark detection.

/// Upper bound for any text file the program reads (project files, lists).
inline constexpr std::size_t MaxTextFileBytes = 16 * 1024 * 1024;

/// Splits at CR LF, a lone CR and a lone LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

/// Every line followed by CR LF, the last one too.
std::string JoinLines(const std::vector<std::string>& lines);

/// Reads and decodes a text file; byte-order marks after the first one, at the start of the
/// text, are dropped too. Throws EhvError when it cannot be read or is larger than maxBytes.
std::string ReadTextFile(const std::string& path, std::size_t maxBytes = MaxTextFileBytes);

/// Writes text (UTF-8, line ends as given) in the ANSI code page, atomically. Throws EhvError
/// "Cannot create file "<path>". <reason>".
void WriteTextFile(const std::string& path, std::string_view text);

/// The same for a file the program reads back itself: UTF-8 with its mark where the ANSI code
/// page cannot hold the text (EncodeAnsiOrUtf8).
void WriteTextFileAnsiOrUtf8(const std::string& path, std::string_view text);
