#pragma once

#include <string>
#include <string_view>

/// Shared modules loaded at run time: the window is one, so that a run without a window never
/// loads its toolkit.

/// The file name of a module on this platform: "quillon-window" gives "quillon-window.so" on
/// POSIX.
std::string ModuleFileName(std::string_view baseName);

/// Loads the module at path, resolving all its symbols at once, and answers the address of the
/// named symbol. The module stays loaded until the process ends: a toolkit registers exit
/// handlers of its own and cannot be unloaded safely. Throws EhvError with the system's reason
/// when the module cannot be loaded or has no such symbol.
void* LoadModuleSymbol(const std::string& path, const std::string& symbol);
