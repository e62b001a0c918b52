#include "platform/system/mainThread.h"

#include <mutex>

#include "platform/base/hvError.h"

namespace {

std::mutex& DispatcherLock() {
    static std::mutex lock;
    return lock;
}

ThvMainThreadDispatcher& Installed() {
    static ThvMainThreadDispatcher dispatcher;
    return dispatcher;
}

}  // namespace

ThvMainThreadDispatcher SetMainThreadDispatcher(ThvMainThreadDispatcher dispatcher) {
    std::lock_guard lock(DispatcherLock());
    std::swap(Installed(), dispatcher);
    return dispatcher;
}

bool HasMainThreadDispatcher() {
    std::lock_guard lock(DispatcherLock());
    return static_cast<bool>(Installed());
}

void RunOnMainThread(const std::function<void()>& call) {
    ThvMainThreadDispatcher dispatcher;
    {
        std::lock_guard lock(DispatcherLock());
        dispatcher = Installed();
    }
    if (!dispatcher)
        throw EhvError(
            "No main-thread dispatcher is installed: a call for the main thread cannot "
            "be delivered.");
    dispatcher(call);
}
