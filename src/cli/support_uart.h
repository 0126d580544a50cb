#pragma once
// Ctrl-C for the UART commands: the signal is taken on a watcher thread, so
// the stop runs as ordinary code (the operator's "Disconnect") rather than
// inside a signal handler.

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace marlow::cli {

class SignalStop {
public:
    // Blocks SIGINT and SIGTERM for this thread and every thread started
    // after it; `onSignal` runs once, on the watcher, at the first of them.
    // Construct it before any worker thread starts.
    explicit SignalStop(std::function<void()> onSignal);
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    bool Fired() const { return fired_.load(); }

private:
    std::function<void()> onSignal_;
    sigset_t previousMask_{};
    std::atomic<bool> fired_{false};
    std::atomic<bool> ending_{false};
    std::thread watcher_;
};

} // namespace marlow::cli
