#include "cli/support_uart.h"

#include <pthread.h>

namespace marlow::cli {

namespace {

// Sent to the watcher by the destructor to let it go.
constexpr int kWakeSignal = SIGUSR2;

sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, kWakeSignal);
    return set;
}

} // namespace

SignalStop::SignalStop(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    watcher_ = std::thread([this, set] {
        int signal = 0;
        while (sigwait(&set, &signal) == 0) {
            if (ending_.load())
                return;
            if (signal == kWakeSignal)
                continue;
            if (!fired_.exchange(true))
                onSignal_();
        }
    });
}

SignalStop::~SignalStop() {
    ending_.store(true);
    pthread_kill(watcher_.native_handle(), kWakeSignal);
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

} // namespace marlow::cli
