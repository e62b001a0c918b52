#include <windows.h>

#include "platform/files/win32Text.h"
#include "platform/system/processStart.h"

// The code page is GetACP()'s and the C library's locale plays no part in our text; the time
// zone is the system's.
void PrepareProcess() {}

std::optional<std::string> ProcessCommandLine() { return NarrowText(GetCommandLineW()); }

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
