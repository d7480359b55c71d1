#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace korvelt {

// Hands calls from the render thread to the user-interface thread and waits until they
// have run: the render thread's progress and finished reports, and messages it shows.
class UiDispatcher {
public:
    virtual ~UiDispatcher() = default;
    // Runs `call` on the user-interface thread and returns once it has run. Called on the
    // user-interface thread itself, it runs the call at once. After shutdown it returns
    // without running the call.
    virtual void invokeAndWait(const std::function<void()>& call) = 0;
    // Queues `call` to run on the user-interface thread and returns at once (notifications
    // of the audio device). Calls queued after shutdown are dropped.
    virtual void post(std::function<void()> call) = 0;
    // On the user-interface thread: runs handed-over calls until `done` returns true, or
    // until the dispatcher has been shut down.
    virtual void processUntil(const std::function<bool()>& done) = 0;
};

// A dispatcher over a queue. The thread that creates it is the user-interface thread. A
// command-line program runs the queue with processUntil; a desktop program passes a `wake`
// function that asks its event loop to call runPending() soon (it is called from the
// handing thread).
class QueueDispatcher final : public UiDispatcher {
public:
    explicit QueueDispatcher(std::function<void()> wake = {});
    ~QueueDispatcher() override;

    void invokeAndWait(const std::function<void()>& call) override;
    void post(std::function<void()> call) override;
    void processUntil(const std::function<bool()>& done) override;
    // Runs every call handed over so far (user-interface thread).
    void runPending();
    // Releases every waiting thread; later calls are not run. For a window that goes away.
    void shutdown();

private:
    struct Item {
        const std::function<void()>* call;
        std::function<void()> owned; // a posted call, owned by the queue
        bool started = false;
        bool done = false;
    };

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<Item*> queue_;
    std::deque<std::unique_ptr<Item>> posted_; // storage of posted items until they ran
    bool shutdown_ = false;
    std::function<void()> wake_;
    std::thread::id uiThread_;
};

} // namespace korvelt
