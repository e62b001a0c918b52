#pragma once

#include <functional>
#include <string>

/// Opens a file, folder or address with the desktop's default handler, detached, with no shell
/// in between; the outcome is ignored (the platform has no answer worth waiting for).
void ShellOpen(const std::string& link);

using ThvShellOpenHandler = std::function<void(const std::string& link)>;

/// Replaces ShellOpen's work (tests install a recorder); an empty handler restores the
/// platform's. Returns the previous handler. Call it while no other thread opens links.
ThvShellOpenHandler SetShellOpenHandler(ThvShellOpenHandler handler);
