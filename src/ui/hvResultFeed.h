#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

/// Carries news about a batch's entries from the threads that make it (the search, the
/// converters) to the GUI thread, in batches: a worker appends under the feed's own lock and
/// posts one event when the feed was empty; the GUI thread then takes everything at once. A
/// worker never waits for the GUI thread here, so it never holds the batch lock while the GUI
/// thread needs it. News of another batch than the current one is dropped.
class ThvResultFeed : public QObject {
  public:
    struct TNews {
        bool Found = false;              ///< entries were added
        std::vector<int32_t> Converted;  ///< indexes of entries whose conversion has ended
    };

    /// onNews runs on the GUI thread after news has arrived.
    explicit ThvResultFeed(std::function<void()> onNews) : onNews_(std::move(onNews)) {}

    /// Any thread.
    void Found(uint64_t batch);
    void Converted(uint64_t batch, int32_t index);

    /// GUI thread: only news of this batch is kept from now on; what is pending is dropped.
    void Follow(uint64_t batch);
    /// GUI thread: everything pending, in the order it came.
    TNews Take();

  protected:
    /// Only the feed's own event type reaches it. The event is never read: it carries nothing,
    /// and what the toolkit's queue orders for it, with locks ThreadSanitizer cannot see, would
    /// look unordered to it; the news itself goes under the feed's lock.
    void customEvent(QEvent* event) override;

  private:
    void PostLocked();

    std::mutex lock_;
    uint64_t batch_ = 0;
    bool posted_ = false;
    TNews pending_;
    const std::function<void()> onNews_;
};
