#include "ui/hvDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <deque>
#include <future>
#include <mutex>

#include "platform/base/hvError.h"
#include "platform/system/mainThread.h"

namespace {

QEvent::Type CallEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

/// One worker's call, both parts on the waiting worker's stack. Done answers whether the call
/// ran: the worker makes its own error when it did not, so that no exception object is shared
/// between threads (its count is kept inside the C++ library, where ThreadSanitizer cannot see).
struct TCall {
    const std::function<void()>* Call;
    std::promise<bool>* Done;
};

}  // namespace

// Workers keep the state alive by their copies of the dispatcher; the receiver, a GUI-thread
// object, is deleted by the dispatcher itself on the GUI thread.
//
// The calls travel in a queue of our own under a std::mutex; the toolkit's event only wakes the
// GUI thread and carries nothing, and the receiver never looks at it. The toolkit's queue does
// order what it carries, but with locks inside its own library that ThreadSanitizer cannot see,
// so anything of ours in an event would look unordered to it.
struct ThvGuiDispatcher::TState {
    class TReceiver : public QObject {
      public:
        explicit TReceiver(TState& state) : state_(state) {}

      protected:
        // Only our own event type reaches customEvent: no need to read the event.
        void customEvent(QEvent*) override { state_.RunQueued(); }

      private:
        TState& state_;
    };

    /// GUI thread: runs every queued call, each answered exactly once.
    void RunQueued() {
        for (;;) {
            TCall next;
            {
                std::lock_guard guard(lock);
                posted = false;
                if (queue.empty()) return;
                next = queue.front();
                queue.pop_front();
            }
            try {
                (*next.Call)();
            } catch (...) {
                // The worker may return and drop the promise as soon as it is answered, so it
                // is never touched after.
                next.Done->set_value(true);
                PostIfQueued();
                throw;
            }
            next.Done->set_value(true);
        }
    }

    /// Wakes the GUI thread for calls still queued after one that threw.
    void PostIfQueued() {
        std::lock_guard guard(lock);
        if (open && !posted && !queue.empty()) PostLocked();
    }

    void PostLocked() {
        posted = true;
        QCoreApplication::postEvent(receiver.get(), new QEvent(CallEventType()));
    }

    QThread* const guiThread = QThread::currentThread();
    std::mutex lock;
    bool open = true;         // guarded by lock
    bool posted = false;      // guarded by lock: an event is on its way
    std::deque<TCall> queue;  // guarded by lock
    std::unique_ptr<TReceiver> receiver = std::make_unique<TReceiver>(*this);
};

ThvGuiDispatcher::ThvGuiDispatcher() : state_(std::make_shared<TState>()) {
    SetMainThreadDispatcher([state = state_](const std::function<void()>& call) {
        ThvGuiDispatcher::Deliver(state, call);
    });
}

ThvGuiDispatcher::~ThvGuiDispatcher() {
    SetMainThreadDispatcher({});
    std::deque<TCall> unrun;
    {
        std::lock_guard guard(state_->lock);
        state_->open = false;
        unrun.swap(state_->queue);
    }
    // Deleting the receiver drops its event still queued, if any.
    state_->receiver.reset();
    for (const TCall& call : unrun) call.Done->set_value(false);
}

void ThvGuiDispatcher::Run(const std::function<void()>& call) { Deliver(state_, call); }

void ThvGuiDispatcher::Deliver(const std::shared_ptr<TState>& state,
                               const std::function<void()>& call) {
    if (QThread::currentThread() == state->guiThread) {
        call();
        return;
    }
    std::promise<bool> done;
    std::future<bool> answered = done.get_future();
    {
        std::lock_guard guard(state->lock);
        if (!state->open)
            throw EhvError("The window is closed: a call for it could not be delivered.");
        state->queue.push_back({&call, &done});
        if (!state->posted) state->PostLocked();
    }
    if (!answered.get())
        throw EhvError("The window is gone: a call for it could not be delivered.");
}

void DeliverQueuedCalls() { QCoreApplication::sendPostedEvents(nullptr, CallEventType()); }
