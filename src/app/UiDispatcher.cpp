#include "app/UiDispatcher.h"

#include <chrono>

namespace korvelt {

QueueDispatcher::QueueDispatcher(std::function<void()> wake)
    : wake_(std::move(wake)), uiThread_(std::this_thread::get_id()) {}

QueueDispatcher::~QueueDispatcher() {
    shutdown();
}

void QueueDispatcher::invokeAndWait(const std::function<void()>& call) {
    if (std::this_thread::get_id() == uiThread_) {
        call();
        return;
    }
    Item item;
    item.call = &call;
    {
        std::lock_guard lock(mutex_);
        if (shutdown_)
            return;
        queue_.push_back(&item);
    }
    queued_.notify_all();
    if (wake_)
        wake_();
    std::unique_lock lock(mutex_);
    // A call that has started always runs to its end before the caller goes on: it may use
    // what the caller holds.
    finished_.wait(lock, [&] { return item.done || (shutdown_ && !item.started); });
    if (!item.done) // released by shutdown before the call ran: take it off the queue
        for (auto it = queue_.begin(); it != queue_.end(); ++it)
            if (*it == &item) {
                queue_.erase(it);
                break;
            }
}

void QueueDispatcher::post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        if (shutdown_)
            return;
        auto item = std::make_unique<Item>();
        item->owned = std::move(call);
        item->call = &item->owned;
        queue_.push_back(item.get());
        posted_.push_back(std::move(item));
    }
    queued_.notify_all();
    if (wake_)
        wake_();
}

void QueueDispatcher::runPending() {
    std::unique_lock lock(mutex_);
    while (!queue_.empty() && !shutdown_) {
        Item* item = queue_.front();
        queue_.pop_front();
        item->started = true;
        lock.unlock();
        (*item->call)();
        lock.lock();
        item->done = true;
        // A posted call's storage goes once it has run; a waiting caller owns its own.
        for (auto it = posted_.begin(); it != posted_.end(); ++it)
            if (it->get() == item) {
                posted_.erase(it);
                break;
            }
        finished_.notify_all();
    }
}

void QueueDispatcher::processUntil(const std::function<bool()>& done) {
    while (!done()) {
        runPending();
        if (done())
            return;
        std::unique_lock lock(mutex_);
        if (shutdown_)
            return;
        // The condition may also change without a handed-over call, so look again soon.
        queued_.wait_for(lock, std::chrono::milliseconds(20), [&] { return !queue_.empty(); });
    }
}

void QueueDispatcher::shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
    }
    finished_.notify_all();
    queued_.notify_all();
}

} // namespace korvelt
