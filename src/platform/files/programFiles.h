#pragma once

#include <string>

/// Where the program finds the files that belong to it besides the executable.

/// The path from which the names of the files kept beside the program are formed (the default
/// project, the recent-project list and the usage store take it with their extension or suffix):
/// exeName itself while the program's folder can be written, as for a portable copy or a build
/// folder; for an installed program, whose folder the user may not write, the same file name in
/// the user's own data folder, where the files keep their names (on Windows the local
/// application data folder: a 64-bit program's writes to a protected folder are not redirected,
/// they fail).
std::string BesideProgramStem(const std::string& exeName);

/// The folder of the data an installed program ships read-only (its help document), ending in
/// the delimiter; empty where such data is kept beside the executable.
std::string InstalledDataFolder(const std::string& exeName);
