#include <windows.h>

#include "platform/base/hvError.h"
#include "platform/files/win32Text.h"
#include "platform/system/loadableModule.h"

std::string ModuleFileName(std::string_view baseName) { return std::string(baseName) + ".dll"; }

void* LoadModuleSymbol(const std::string& path, const std::string& symbol) {
    // A module given with its folder finds the modules it needs beside itself first; a bare
    // name is looked up as the system looks up any module. It is never freed (see the header).
    const bool hasFolder = path.find_first_of("\\/") != std::string::npos;
    HMODULE module = LoadLibraryExW(WideText(path).c_str(), nullptr,
                                    hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    if (!module) throw EhvError(path + ": " + Win32ErrorMessage(GetLastError()));
    FARPROC address = GetProcAddress(module, symbol.c_str());
    if (!address) {
        throw EhvError("no symbol " + symbol + " in " + path + ": " +
                       Win32ErrorMessage(GetLastError()));
    }
    return reinterpret_cast<void*>(address);
}
