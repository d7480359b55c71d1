#include "app/cli/InterruptWatcher.h"

#include <csignal>

namespace korvelt::cli {
namespace {

sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2); // wakes the watcher when it is no longer needed
    return set;
}

} // namespace

InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    thread_ = std::thread([this] { watch(); });
}

InterruptWatcher::~InterruptWatcher() {
    stopping_ = true;
    pthread_kill(thread_.native_handle(), SIGUSR2);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::watch() {
    const sigset_t set = watchedSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0)
            continue;
        if (stopping_)
            return;
        if (signal == SIGINT || signal == SIGTERM) {
            interrupted_ = true;
            if (onInterrupt_)
                onInterrupt_();
        }
    }
}

} // namespace korvelt::cli
