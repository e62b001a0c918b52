#pragma once

#include <string>

/// Whether two spellings of a path name the same file, as far as the names tell: "." and "..",
/// doubled delimiters and links to folders are resolved; the final name is kept as written,
/// because a file written there replaces what that name holds, link or not.

/// The path with its folder part resolved to the folder's real, absolute path. Empty when the
/// folder does not exist.
std::string ResolvedPath(const std::string& path);

/// A folder's real, absolute path with one delimiter at its end (an empty folder is the current
/// one). Empty when it does not exist.
std::string ResolvedFolder(const std::string& folder);

/// The real, absolute path of what path names, every link followed. Empty when it does not
/// exist.
std::string FullyResolvedPath(const std::string& path);

/// True when both paths name existing files and those are one and the same file.
bool SameExistingFile(const std::string& a, const std::string& b);
