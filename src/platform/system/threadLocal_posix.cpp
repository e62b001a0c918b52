#include <atomic>
#include <vector>

#include "platform/system/threadLocal.h"

namespace {

std::atomic<uintptr_t> nextIndex{0};

// glibc destroys thread_local objects before it frees their storage; each thread's values go
// with its vector.
std::vector<std::unique_ptr<ThvThreadValue>>& Values() {
    thread_local std::vector<std::unique_ptr<ThvThreadValue>> values;
    return values;
}

}  // namespace

// Indices are not reused: a program has a handful of slots, each living as long as it does.
ThvThreadSlot::ThvThreadSlot() : index_(nextIndex++) {}

ThvThreadSlot::~ThvThreadSlot() = default;

ThvThreadValue* ThvThreadSlot::Get() const {
    const auto& values = Values();
    return index_ < values.size() ? values[index_].get() : nullptr;
}

void ThvThreadSlot::Set(std::unique_ptr<ThvThreadValue> value) {
    auto& values = Values();
    if (values.size() <= index_) values.resize(index_ + 1);
    values[index_] = std::move(value);
}
