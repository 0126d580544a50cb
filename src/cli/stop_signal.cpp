#include "cli/stop_signal.h"

#include <array>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace marlow::cli {

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};
// Written by the destructor: the watcher's cue to end.
constexpr unsigned char kEndWatcher = 0;

std::atomic<int> firstSignal{0};
std::atomic<int> signalPipe{-1};
struct sigaction previous[kStopSignals.size()];

void OnStopSignal(int signal) {
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    const unsigned char byte = static_cast<unsigned char>(signal);
    const int fd = signalPipe.load();
    if (fd >= 0) [[maybe_unused]]
        const ssize_t ignored = write(fd, &byte, 1);
}

} // namespace

StopSignal::StopSignal(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    firstSignal = 0;
    if (pipe2(pipe_, O_CLOEXEC) != 0)
        pipe_[0] = pipe_[1] = -1;
    signalPipe = pipe_[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]);
    if (pipe_[0] < 0)
        return;
    watcher_ = std::thread([this] {
        bool stopped = false;
        unsigned char byte = kEndWatcher;
        while (read(pipe_[0], &byte, 1) == 1 && byte != kEndWatcher) {
            if (!stopped && onStop_)
                onStop_();
            stopped = true;
        }
    });
}

StopSignal::~StopSignal() {
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    signalPipe = -1;
    if (watcher_.joinable()) {
        [[maybe_unused]] const ssize_t ignored = write(pipe_[1], &kEndWatcher, 1);
        watcher_.join();
    }
    for (const int fd : pipe_)
        if (fd >= 0)
            close(fd);
}

void StopSignal::Raise(int signal) {
    OnStopSignal(signal);
}

int StopSignal::Signal() const {
    return firstSignal.load();
}

int StopSignal::ExitCode() const {
    return Raised() ? 128 + Signal() : 0;
}

} // namespace marlow::cli
