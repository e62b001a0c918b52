#include "ui/hvResultFeed.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

QEvent::Type NewsEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

void ThvResultFeed::Found(uint64_t batch) {
    std::lock_guard lock(lock_);
    if (batch != batch_) return;
    pending_.Found = true;
    PostLocked();
}

void ThvResultFeed::Converted(uint64_t batch, int32_t index) {
    std::lock_guard lock(lock_);
    if (batch != batch_) return;
    pending_.Converted.push_back(index);
    PostLocked();
}

void ThvResultFeed::PostLocked() {
    if (posted_) return;
    posted_ = true;
    QCoreApplication::postEvent(this, new QEvent(NewsEventType()));
}

void ThvResultFeed::Follow(uint64_t batch) {
    std::lock_guard lock(lock_);
    batch_ = batch;
    pending_ = {};
}

ThvResultFeed::TNews ThvResultFeed::Take() {
    std::lock_guard lock(lock_);
    posted_ = false;
    return std::exchange(pending_, {});
}

void ThvResultFeed::customEvent(QEvent*) {
    if (onNews_) onNews_();
}
