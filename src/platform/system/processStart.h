#pragma once

#include <optional>
#include <string>

/// What the program's main() needs of the process it runs in.

/// Prepares the process before anything else runs: on POSIX the locale (which names the "ANSI"
/// code page), the time zone and, with the GNU C library, the allocator's thresholds (a freed
/// block of up to kKeptAllocationBytes stays in the process for the next file); on Windows,
/// where the program is a window program that gets no console of its own, the console of the
/// program that started it (cmd, a batch file) for the standard output and error that were not
/// redirected; standard output in binary mode.
void PrepareProcess();

inline constexpr int kKeptAllocationBytes = 1 << 20;

/// Shows a text the user asked for (how to use the program) on standard output; a Windows
/// program started without a console (from Explorer or a shortcut) shows it in a message box
/// captioned title instead.
void ShowRequestedText(const std::string& title, const std::string& text);

/// The process's command line as one text, UTF-8, where the system keeps it so (Windows: the
/// program splits it itself, by its own rules); empty where the arguments arrive split (POSIX).
std::optional<std::string> ProcessCommandLine();

/// True when standard error is a terminal (a console on Windows) rather than a file or a pipe.
bool StandardErrorIsTerminal();
