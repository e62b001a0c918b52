#include "hvDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <future>
#include <mutex>

#include "hvError.h"
#include "mainThread.h"

namespace {

QEvent::Type CallEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

/// One call on its way to the GUI thread. Answers its promise exactly once: when it runs, or,
/// unrun, when it is destroyed.
class ThvCallEvent : public QEvent {
  public:
    ThvCallEvent(const std::function<void()>& call, std::promise<void>& done)
        : QEvent(CallEventType()), call_(call), done_(done) {
        published_.store(true, std::memory_order_release);
    }
    ~ThvCallEvent() override {
        (void)published_.load(std::memory_order_acquire);  // see Deliver
        if (!answered_)
            done_.set_exception(std::make_exception_ptr(
                EhvError("The window is gone: a call for it could not be delivered.")));
    }

    void Deliver() {
        // The toolkit's queue orders the worker's writes before this read, but inside a library
        // that ThreadSanitizer cannot see into; this pair says so where it can.
        (void)published_.load(std::memory_order_acquire);
        try {
            call_();
        } catch (...) {
            Answer();
            throw;
        }
        Answer();
    }

  private:
    // The worker may return and drop the promise as soon as it is answered, so the flag is set
    // first and the promise is never touched after.
    void Answer() {
        answered_ = true;
        done_.set_value();
    }

    const std::function<void()>& call_;  // lives on the waiting worker's stack
    std::promise<void>& done_;
    bool answered_ = false;
    std::atomic<bool> published_{false};
};

class ThvCallReceiver : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() != CallEventType()) return QObject::event(event);
        static_cast<ThvCallEvent*>(event)->Deliver();
        return true;
    }
};

}  // namespace

// Workers keep the state alive by their copies of the dispatcher; the receiver, a GUI-thread
// object, is deleted by the dispatcher itself on the GUI thread, after open went false.
struct ThvGuiDispatcher::TState {
    QThread* const guiThread = QThread::currentThread();
    std::mutex lock;
    bool open = true;  // guarded by lock, as is receiver
    std::unique_ptr<ThvCallReceiver> receiver = std::make_unique<ThvCallReceiver>();
};

ThvGuiDispatcher::ThvGuiDispatcher() : state_(std::make_shared<TState>()) {
    SetMainThreadDispatcher([state = state_](const std::function<void()>& call) {
        ThvGuiDispatcher::Deliver(state, call);
    });
}

ThvGuiDispatcher::~ThvGuiDispatcher() {
    SetMainThreadDispatcher({});
    std::unique_ptr<ThvCallReceiver> receiver;
    {
        std::lock_guard lock(state_->lock);
        state_->open = false;
        receiver = std::move(state_->receiver);
    }
    // Deleting the receiver destroys the events still queued for it unrun, which wakes their
    // workers.
    receiver.reset();
}

void ThvGuiDispatcher::Run(const std::function<void()>& call) { Deliver(state_, call); }

void ThvGuiDispatcher::Deliver(const std::shared_ptr<TState>& state,
                               const std::function<void()>& call) {
    if (QThread::currentThread() == state->guiThread) {
        call();
        return;
    }
    std::promise<void> done;
    std::future<void> answered = done.get_future();
    {
        std::lock_guard lock(state->lock);
        if (!state->open)
            throw EhvError("The window is closed: a call for it could not be delivered.");
        QCoreApplication::postEvent(state->receiver.get(), new ThvCallEvent(call, done));
    }
    answered.get();
}

void DeliverQueuedCalls() { QCoreApplication::sendPostedEvents(nullptr, CallEventType()); }
