#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace korvelt::test {

// A stand-in for the user-interface thread's queue: any thread posts calls, the test's
// own thread runs them in order.
class UiQueue {
public:
    void post(std::function<void()> call) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        wake_.notify_one();
    }

    // A post function for devices that take one.
    std::function<void(std::function<void()>)> poster() {
        return [this](std::function<void()> call) { post(std::move(call)); };
    }

    // Runs the calls queued so far (not those they queue); returns how many ran.
    int runPending() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard lock(mutex_);
            calls.swap(calls_);
        }
        for (auto& call : calls)
            call();
        return static_cast<int>(calls.size());
    }

    // Runs calls as they arrive until `finished()` holds; false when it still does not
    // after `limit`.
    bool runUntil(const std::function<bool()>& finished, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!finished()) {
            std::function<void()> call;
            {
                std::unique_lock lock(mutex_);
                if (!wake_.wait_until(lock, deadline, [this] { return !calls_.empty(); }))
                    return finished();
                call = std::move(calls_.front());
                calls_.pop_front();
            }
            call();
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> calls_;
};

} // namespace korvelt::test
