#include "station/run_watchdog.h"

namespace marlow::station {

void ProgressWatchdog::Arm(const std::string& step) {
    const std::lock_guard lock(mutex_);
    armed_ = limit_.count() > 0;
    last_ = Clock::now();
    step_ = step;
}

void ProgressWatchdog::Disarm() {
    const std::lock_guard lock(mutex_);
    armed_ = false;
}

void ProgressWatchdog::Progress(const std::string& step) {
    const std::lock_guard lock(mutex_);
    last_ = Clock::now();
    if (!step.empty())
        step_ = step;
}

std::optional<ProgressWatchdog::Clock::time_point> ProgressWatchdog::Deadline() const {
    const std::lock_guard lock(mutex_);
    if (!armed_)
        return std::nullopt;
    return last_ + limit_;
}

bool ProgressWatchdog::Expired() const {
    const std::optional<Clock::time_point> deadline = Deadline();
    return deadline && Clock::now() >= *deadline;
}

std::string ProgressWatchdog::Reason() const {
    const std::lock_guard lock(mutex_);
    return Reason(step_);
}

std::string ProgressWatchdog::Reason(const std::string& step) const {
    return "no progress for " + std::to_string(limit_.count()) + " s in " + step;
}

usb::OpenRetryPolicy InterruptibleOpen(usb::StopRequest& commandStop,
                                       std::function<const ProgressWatchdog*()> watching) {
    usb::OpenRetryPolicy policy;
    policy.wait = [&commandStop, watching = std::move(watching)](std::chrono::milliseconds pause,
                                                                 usb::StopRequest& pipeStop) {
        using Clock = ProgressWatchdog::Clock;
        const ProgressWatchdog* const watchdog = watching();
        const auto until = Earlier(Clock::now() + pause,
                                   watchdog != nullptr ? watchdog->Deadline() : std::nullopt);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - Clock::now());
        commandStop.PauseUnlessRaised(std::max(left, std::chrono::milliseconds(0)));
        const bool expired = watchdog != nullptr && watchdog->Expired();
        return !commandStop.IsRaised() && !pipeStop.IsRaised() && !expired;
    };
    return policy;
}

std::optional<ProgressWatchdog::Clock::time_point>
Earlier(std::optional<ProgressWatchdog::Clock::time_point> a,
        std::optional<ProgressWatchdog::Clock::time_point> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

} // namespace marlow::station
