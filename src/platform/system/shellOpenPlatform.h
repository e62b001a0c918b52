#pragma once

#include <string>

/// The platform's own opener behind ShellOpen: the desktop's default handler, detached.
void PlatformShellOpen(const std::string& link);
