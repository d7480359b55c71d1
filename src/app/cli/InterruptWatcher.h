#pragma once

#include <atomic>
#include <functional>
#include <pthread.h>
#include <thread>

namespace korvelt::cli {

// Turns Ctrl-C (SIGINT) and SIGTERM into a call on a thread of its own, so a long render
// can stop cleanly. Create it before any other thread: the threads started afterwards
// inherit the blocked signals, and only this watcher receives them.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();

    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    bool interrupted() const noexcept { return interrupted_.load(); }

private:
    void watch();

    std::function<void()> onInterrupt_;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> stopping_{false};
    sigset_t previousMask_{};
    std::thread thread_;
};

} // namespace korvelt::cli
