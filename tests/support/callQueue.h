#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

/// A main thread for tests: worker threads post calls and wait; the test's own thread runs them
/// while it pumps. Install Post as the main-thread dispatcher.
class CallQueue {
  public:
    /// Runs call on the pumping thread and returns when it has run.
    void Post(const std::function<void()>& call) {
        std::unique_lock lock(mutex_);
        bool done = false;
        queue_.push_back([&] {
            call();
            std::lock_guard doneLock(mutex_);
            done = true;
        });
        changed_.notify_all();
        changed_.wait(lock, [&] { return done; });
    }

    /// Runs posted calls until until() holds or the time is up; answers until().
    bool PumpUntil(const std::function<bool()>& until,
                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(mutex_);
        for (;;) {
            while (!queue_.empty()) {
                auto call = std::move(queue_.front());
                queue_.pop_front();
                lock.unlock();
                call();
                lock.lock();
                changed_.notify_all();
            }
            lock.unlock();
            const bool met = until();
            lock.lock();
            if (met) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            // What is awaited may change without a post (a counter reaching 0): look again soon.
            changed_.wait_for(lock, std::chrono::milliseconds(2));
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
};
