// The stop requests of a console program on Windows are console control events: Ctrl+C and
// Ctrl+Break typed or sent (GenerateConsoleCtrlEvent, as a scheduler or a script does), and the
// console's closing, the user's logging off and the system's shutting down, which end the process
// once the handler returns. They are given the C library's signal numbers, so that names and exit
// codes read as on POSIX: Ctrl+C is SIGINT, Ctrl+Break SIGBREAK, the other three SIGTERM.

#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/base/hvError.h"
#include "platform/system/signals.h"

namespace {

std::atomic<int> firstRequest{0};
std::atomic<bool> instanceLives{false};
// Set while no instance lives: a handler kept waiting by a closing console may go on.
HANDLE instanceGone = nullptr;

int RequestOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return SIGINT;
        case CTRL_BREAK_EVENT:
            return SIGBREAK;
        default:
            return SIGTERM;
    }
}

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnControlEvent(DWORD event) {
    if (!instanceLives.load()) return FALSE;
    const int request = RequestOf(event);
    int none = 0;
    // The second request: the next handler, the system's own at the end, ends the process as
    // if nothing had caught it (for Ctrl+C with STATUS_CONTROL_C_EXIT).
    if (!firstRequest.compare_exchange_strong(none, request)) return FALSE;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends as soon as this returns: the run is given the time the system
        // allows (a few seconds) to stop in order first.
        WaitForSingleObject(instanceGone, INFINITE);
    }
    return TRUE;
}

}  // namespace

ThvStopSignals::ThvStopSignals() {
    if (instanceLives.exchange(true)) throw EhvError("The stop signals are taken already.");
    if (!instanceGone) instanceGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(instanceGone);
    firstRequest.store(0);
    // A process started with Ctrl+C ignored (a new process group, a background job) never sees
    // the event in any handler, so an ignored request stays ignored by itself.
    SetConsoleCtrlHandler(&OnControlEvent, TRUE);
}

ThvStopSignals::~ThvStopSignals() {
    SetConsoleCtrlHandler(&OnControlEvent, FALSE);
    instanceLives.store(false);
    SetEvent(instanceGone);
}

int ThvStopSignals::Received() { return instanceLives.load() ? firstRequest.load() : 0; }

bool ThvStopSignals::Held() { return instanceLives.load(); }

std::string ThvStopSignals::Name(int request) {
    switch (request) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGBREAK:
            return "SIGBREAK";
        default:
            return "signal " + std::to_string(request);
    }
}
