#pragma once

#include <atomic>

namespace korvelt {

// An option that one thread (the window's) may change while a render reads it. Each read
// sees either the old or the new value, never a torn one; no ordering is implied.
template <class T>
class LiveValue {
public:
    LiveValue(T value = T{}) noexcept : value_(value) {}
    LiveValue(const LiveValue& other) noexcept : value_(other.get()) {}
    LiveValue& operator=(const LiveValue& other) noexcept {
        set(other.get());
        return *this;
    }
    LiveValue& operator=(T value) noexcept {
        set(value);
        return *this;
    }
    operator T() const noexcept { return get(); }
    T get() const noexcept { return value_.load(std::memory_order_relaxed); }
    void set(T value) noexcept { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

} // namespace korvelt
