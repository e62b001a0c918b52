#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// The names of the program's temporaries, alike on every platform. A held file is
/// ".quillon-<16 hex digits>" in the folder of the file it becomes; its companions are its name
/// with "." and more after it. A sweep by another run knows them by this form alone.

/// The held file's name in folder (which ends in a delimiter, or is empty) for a new token:
/// processStart, different in each process, plus a counter stepped by an odd number, so that
/// tokens are distinct within the process and unlikely to meet another's.
std::string NewHeldTempName(const std::string& folder, uint64_t processStart);

/// The temporaries in folder by their held file's name (folder included): the held file and
/// its companions as they are listed; the held file itself may be missing from the list.
std::map<std::string, std::vector<std::string>> TemporariesIn(const std::string& folder);
