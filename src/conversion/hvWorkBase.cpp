#include "conversion/hvWorkBase.h"

#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"

ThvWorkBase::~ThvWorkBase() {
    if (!thread_.joinable()) return;
    // The thread's own reference may be the last one: then this runs on that thread, at its
    // very end, and it cannot wait for itself.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void ThvWorkBase::Resume() {
    if (started_.exchange(true)) return;
    thread_ = std::thread([self = shared_from_this()]() mutable {
        self->ThreadMain();
        self.reset();
    });
}

std::string ThvWorkBase::FatalError() const { return ended_.load() ? fatalError_ : std::string(); }

void ThvWorkBase::ThreadMain() {
    try {
        Execute();
    } catch (const std::exception& e) {
        // An error that is not a per-file error ends this worker only; the end-of-thread work
        // still runs, so the owner of the run is never left waiting for it.
        fatalError_ = e.what();
        Terminate();
    }
    Current = nullptr;
    AfterExecute();
    ended_.store(true);
}

void ThvWorkBase::Execute() {
    while (!Terminated()) {
        Current = Batch.NextNode();
        if (!Current) {
            Terminate();
            break;
        }
        try {
            ProcessNode();
        } catch (const EhvError& e) {
            Current->Result = e.what();
        }
    }
}
