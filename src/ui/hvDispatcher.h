#pragma once

#include <functional>
#include <memory>

/// The window's main-thread dispatcher (mainThread.h): a worker thread runs a call on the GUI
/// thread and waits until it has returned.
///
/// The worker queues the call under the dispatcher's lock and wakes the GUI thread with an
/// event, then waits on a promise that the call answers. A call that can no longer be delivered
/// wakes its worker with an EhvError instead of leaving it waiting: after the dispatcher has
/// closed, and when the dispatcher is destroyed with the call still queued (so it must go
/// before the application object, as the start-up's reverse order has it). The worker holds
/// none of the program's locks while it waits here (converters call out only between files), so
/// the GUI thread may take any of them meanwhile, the batch lock included. An error raised by
/// the call releases the worker and then goes on to the event loop's handler, as any error of
/// the GUI thread does.
class ThvGuiDispatcher {
  public:
    /// On the GUI thread, once the application object exists: installs itself.
    ThvGuiDispatcher();
    /// Uninstalls itself and refuses further calls; calls still queued fail.
    ~ThvGuiDispatcher();
    ThvGuiDispatcher(const ThvGuiDispatcher&) = delete;
    ThvGuiDispatcher& operator=(const ThvGuiDispatcher&) = delete;

    /// Runs call on the GUI thread and returns when it has run; on the GUI thread itself it runs
    /// at once. Any thread. Throws EhvError when the call cannot be delivered.
    void Run(const std::function<void()>& call);

  private:
    struct TState;
    static void Deliver(const std::shared_ptr<TState>& state, const std::function<void()>& call);

    std::shared_ptr<TState> state_;
};

/// Runs the calls that workers have queued for the GUI thread, and nothing else: for a window
/// that must wait for its converters without returning to the event loop. GUI thread only.
void DeliverQueuedCalls();
