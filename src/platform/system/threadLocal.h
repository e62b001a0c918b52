#pragma once

#include <cstdint>
#include <memory>

/// Per-thread objects destroyed when their thread ends. Use these, not thread_local, for an
/// object with a destructor: mingw-w64 10 (Debian 12's Windows compiler) frees the storage of a
/// thread_local object of a std::thread before it runs the object's destructor, which then
/// works on freed memory.

/// What a slot holds; the slot destroys it through this base.
class ThvThreadValue {
  public:
    virtual ~ThvThreadValue() = default;
};

/// One pointer per thread. Created once (a static), before or while threads use it.
class ThvThreadSlot {
  public:
    ThvThreadSlot();
    ~ThvThreadSlot();
    ThvThreadSlot(const ThvThreadSlot&) = delete;
    ThvThreadSlot& operator=(const ThvThreadSlot&) = delete;

    /// The calling thread's value, null before Set.
    ThvThreadValue* Get() const;

    /// Replaces the calling thread's value; the old one is destroyed.
    void Set(std::unique_ptr<ThvThreadValue> value);

  private:
    uintptr_t index_;
};

/// A T for each thread that asks, made on its first Get (value-initialised) and destroyed when
/// the thread ends.
template <typename T>
class ThvThreadLocal {
  public:
    T& Get() {
        if (auto* held = static_cast<THolder*>(slot_.Get())) return held->Value;
        auto held = std::make_unique<THolder>();
        T& value = held->Value;
        slot_.Set(std::move(held));
        return value;
    }

  private:
    struct THolder : ThvThreadValue {
        T Value{};
    };
    ThvThreadSlot slot_;
};
