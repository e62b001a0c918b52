#pragma once

#include <ostream>
#include <string>

/// Window mode: runs the window until it closes and answers the exit code. Without a display
/// to show it on (or, on Linux, without a window module that loads) it writes one line to err,
/// with an example of an unattended command, and answers 1 before anything of the toolkit has
/// run. On Linux the window is a module loaded only now (windowModule.cpp), so that a run
/// without a window never loads the toolkit; on Windows it is linked into the program
/// (windowLinked.cpp).
int RunWindow(const std::string& exeName, std::ostream& err);

/// The one line of a refusal: the reason, then how to run a project unattended instead.
void TellNoWindow(std::ostream& err, const std::string& reason);
