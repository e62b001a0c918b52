#pragma once

#include <string>
#include <vector>

#include "app/window.h"

/// On Linux the window lives in a module of its own, loaded only in window mode: a run without
/// a window never loads the toolkit, and the program starts where the toolkit is not installed.

/// Where the module is looked for, in this order: beside the executable (a build folder), then
/// in the build's module folder beside the executable's folder (an installed program:
/// /usr/bin/quillon with /usr/lib/x86_64-linux-gnu/quillon/quillon-window.so on Debian).
std::vector<std::string> WindowModuleCandidates(const std::string& exeName);
