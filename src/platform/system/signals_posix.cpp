#include <signal.h>

#include <atomic>
#include <cerrno>

#include "platform/base/hvError.h"
#include "platform/system/signals.h"

namespace {

// The handler may touch nothing but these: lock-free atomics and async-signal-safe calls.
std::atomic<int> firstRequest{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<bool> instanceLives{false};

// SIGHUP is a closed terminal or SSH session: the user has gone, and the run stops in order.
constexpr int kRequests[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCount = sizeof kRequests / sizeof kRequests[0];
struct sigaction previous[kCount];
bool taken[kCount] = {};

extern "C" void OnStopRequest(int request) {
    const int savedErrno = errno;
    int none = 0;
    if (!firstRequest.compare_exchange_strong(none, request)) {
        // The second request: the default action ends the process when this handler returns,
        // the request being blocked until then.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        sigaction(request, &byDefault, nullptr);
        raise(request);
    }
    errno = savedErrno;
}

}  // namespace

ThvStopSignals::ThvStopSignals() {
    if (instanceLives.exchange(true)) throw EhvError("The stop signals are taken already.");
    firstRequest.store(0);
    struct sigaction handler {};
    handler.sa_handler = &OnStopRequest;
    sigemptyset(&handler.sa_mask);
    for (int request : kRequests) sigaddset(&handler.sa_mask, request);
    // Reads and writes on other threads go on where the signal found them.
    handler.sa_flags = SA_RESTART;
    sigset_t held;
    sigemptyset(&held);
    for (int i = 0; i < kCount; ++i) {
        struct sigaction current {};
        sigaction(kRequests[i], nullptr, &current);
        if (current.sa_handler == SIG_IGN) continue;
        taken[i] = sigaction(kRequests[i], &handler, &previous[i]) == 0;
        if (taken[i]) sigaddset(&held, kRequests[i]);
    }
    // A request that came while the program was starting, blocked by whoever started it, is
    // one like any other: it arrives now, and the owner stops in order.
    pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

ThvStopSignals::~ThvStopSignals() {
    for (int i = 0; i < kCount; ++i) {
        if (taken[i]) sigaction(kRequests[i], &previous[i], nullptr);
        taken[i] = false;
    }
    instanceLives.store(false);
}

int ThvStopSignals::Received() { return instanceLives.load() ? firstRequest.load() : 0; }

bool ThvStopSignals::Held() { return instanceLives.load(); }

std::string ThvStopSignals::Name(int request) {
    switch (request) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(request);
    }
}
