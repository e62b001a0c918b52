#pragma once

#include <functional>
#include <ostream>
#include <string>

class ThvProject;

/// Runs the window until it closes and answers the exit code. The window layer installs it;
/// without one the window mode says so and ends.
using ThvWindowRunner = std::function<int()>;
void SetWindowRunner(ThvWindowRunner runner);

/// The window module's entry point, exported unmangled under WindowModuleEntryName: runs the
/// window with the process-wide objects of the start-up (which the executable exports to it)
/// until the window closes, and answers the exit code.
extern "C" {
typedef int ThvWindowModuleEntry(const char* exeName);
}
inline constexpr const char* WindowModuleEntryName = "QuillonWindowMain";

/// One line that shows how to run a project without a window, for messages that refuse one.
std::string UnattendedExample();

/// True for the arguments that ask how to use the program: "/?", "-?" and "--help".
bool IsHelpRequest(const std::string& param);

/// What the program answers them: its command-line forms, in this platform's paths.
std::string UsageText();

/// Writes the product's fixed texts into the project and turns on the lock-file switch.
void SetProductConstants(ThvProject& project);

/// The unattended run is chosen when "PureConsole" reads true and "Source" is no address (does
/// not begin with "http").
bool IsUnattended(const ThvProject& project);

/// The program from start-up to shut-down: creates the process-wide objects in their order,
/// reads the command line, runs one mode and destroys the objects in reverse order. Answers
/// the exit code: 0 for every orderly end, 1 when an error escapes the unattended run or the
/// project file could not be read and there is no window (the message then goes to err as
/// "Application Error: <message>"); with ExitCodes=strict 3 when files failed and 2 instead of
/// 1; and, in either case, 128 + the signal's number for an unattended run that a stop signal
/// cut short. The unattended run shows its progress on err when errIsTerminal.
int RunQuillon(const std::string& exeName, const std::string& param, std::ostream& err,
               bool errIsTerminal = false);
