#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/files/win32Text.h"
#include "platform/system/processStart.h"

// The code page is GetACP()'s and the C library's locale plays no part in our text; the time
// zone is the system's.
void PrepareProcess() {
    // Standard output carries converted files byte for byte (Target=-): a "\n" made "\r\n"
    // would break UTF-16 and change every other form.
    _setmode(_fileno(stdout), _O_BINARY);
}

std::optional<std::string> ProcessCommandLine() { return NarrowText(GetCommandLineW()); }

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
