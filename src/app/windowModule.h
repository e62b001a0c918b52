#pragma once

#include <ostream>
#include <string>
#include <vector>

/// The window lives in a module of its own, loaded only in window mode: a run without a window
/// never loads the toolkit, and the program starts where the toolkit is not installed.

/// Where the module is looked for, in this order: beside the executable (a build folder), then
/// in the build's module folder beside the executable's folder (an installed program:
/// /usr/bin/quillon with /usr/lib/x86_64-linux-gnu/quillon/quillon-window.so on Debian).
std::vector<std::string> WindowModuleCandidates(const std::string& exeName);

/// Window mode: checks for a display, loads the module and runs the window. Without a display,
/// or without a module that loads, it writes one line to err (with an example of an unattended
/// command) and answers 1, before anything of the toolkit has run.
int RunWindowModule(const std::string& exeName, std::ostream& err);
