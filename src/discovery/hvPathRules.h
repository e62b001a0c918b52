#pragma once

#include <string>

#include "platform/files/paths.h"

// The path rules of a run that the search, the converters, the shards and the logs share: each
// is written once, here.

/// A "file:" URL as the path it names; any other text unchanged. With "/" as delimiter
/// file:///data/in gives /data/in; with "\" file:///C:/in gives C:\in and
/// file://server/share gives \\server\share. "file:" with nothing after it gives "".
std::string NormalizePath(const std::string& path, char delim = PathDelim);

/// The target folder of a run from the text the user gave: a "file:" URL taken as its path,
/// ended by the delimiter, and created with its missing parents when it does not exist. Only
/// where delim is the platform's own is anything created: with the other one the text is only
/// a string. A folder that cannot be made is no error here; the files' failures say why.
/// Empty for an empty text.
std::string PrepareTargetFolder(const std::string& target, char delim = PathDelim);

/// The part of a source path that its text file keeps below the target folder, before the
/// extension changes: the path below sourceFolder with "KeepTargetSubdirs" (and a source folder
/// to cut), else the file name alone; ":" and the other platform's delimiter become "_", as they
/// cannot stand in a name.
std::string TargetRelativePart(const std::string& source, const std::string& sourceFolder,
                               bool keepSubdirs, char delim = PathDelim);
