#include "programFiles.h"

// Windows redirects the writes of a program in a protected folder to a per-user store of its
// own, so the files keep their place beside the program; its read-only data is beside it too.
std::string BesideProgramStem(const std::string& exeName) { return exeName; }

std::string InstalledDataFolder(const std::string&) { return {}; }
