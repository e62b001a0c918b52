#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/files/win32Text.h"
#include "platform/system/processStart.h"

namespace {

// A handle that leads somewhere: a console, a file or a pipe (redirected by the caller).
bool Leads(HANDLE handle) {
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// quillon.exe is a window program, so that a double click opens the window without a console
// flashing up; started from a console, it attaches to that console, so that an unattended run
// reports where it was started. Output that the caller redirected to a file or a pipe stays
// there, as does the exit code, which a batch file or a scheduled task waits for as for any
// program.
void AttachParentConsole() {
    const bool outMissing = !Leads(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errMissing = !Leads(GetStdHandle(STD_ERROR_HANDLE));
    if (!(outMissing || errMissing) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    const struct {
        bool missing;
        DWORD id;
        FILE* stream;
    } streams[] = {{outMissing, STD_OUTPUT_HANDLE, stdout}, {errMissing, STD_ERROR_HANDLE, stderr}};
    for (const auto& s : streams) {
        if (!s.missing) continue;
        // The system's standard handle for our own calls (GetConsoleMode, the control events),
        // the C library's stream for what is written through it.
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     0, nullptr);
        if (console != INVALID_HANDLE_VALUE) SetStdHandle(s.id, console);
        // Reopened, the error stream would be buffered, and its lines late.
        if (_wfreopen(L"CONOUT$", L"w", s.stream) && s.stream == stderr)
            std::setvbuf(stderr, nullptr, _IONBF, 0);
    }
}

}  // namespace

// The code page is GetACP()'s and the C library's locale plays no part in our text; the time
// zone is the system's.
void PrepareProcess() {
    AttachParentConsole();
    // Standard output carries converted files byte for byte (Target=-): a "\n" made "\r\n"
    // would break UTF-16 and change every other form. Set after the reopening, which would
    // bring text mode back.
    _setmode(_fileno(stdout), _O_BINARY);
}

void ShowRequestedText(const std::string& title, const std::string& text) {
    if (Leads(GetStdHandle(STD_OUTPUT_HANDLE))) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        return;
    }
    MessageBoxW(nullptr, WideText(text).c_str(), WideText(title).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

std::optional<std::string> ProcessCommandLine() { return NarrowText(GetCommandLineW()); }

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
