#pragma once
// The progress watchdog behind --timeout, which every command that drives
// a handset and every station slot shares.

#include "usb/usb_pipe.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::station {

// A run that shows no progress for the limit is ended like a stop, with
// its own exit code and a reason naming the step that went silent. Every
// progress event restarts the count. Armed on the event loop's thread
// (which then knows its deadline); progress may come from any thread.
class ProgressWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    // A limit of 0 never expires.
    explicit ProgressWatchdog(std::chrono::seconds limit) : limit_(limit) {}

    void Arm(const std::string& step);
    void Disarm();
    // The run moved on; `step` names what it does now (empty: the same).
    void Progress(const std::string& step = {});

    // When the run will have been silent too long; nullopt when unarmed.
    std::optional<Clock::time_point> Deadline() const;
    bool Expired() const;
    // "no progress for 120 s in WRITE_FLSH_CMD", with the last step named
    // or the one given.
    std::string Reason() const;
    std::string Reason(const std::string& step) const;

private:
    const std::chrono::seconds limit_;
    mutable std::mutex mutex_;
    bool armed_ = false;
    Clock::time_point last_;
    std::string step_;
};

// How a command's device open spends its pauses between attempts (up to 30
// of a second each): a stop signal (`commandStop`, raised by the command's
// StopSignal) or the expiry of the watchdog `watching()` names (none: no
// limit) ends them at once, so that opening a device waits no longer than
// any other step. The open then fails, and the command ends as the stop or
// the time-out says.
usb::OpenRetryPolicy InterruptibleOpen(usb::StopRequest& commandStop,
                                       std::function<const ProgressWatchdog*()> watching);

// The earlier of two deadlines, either of which may be absent.
std::optional<ProgressWatchdog::Clock::time_point>
Earlier(std::optional<ProgressWatchdog::Clock::time_point> a,
        std::optional<ProgressWatchdog::Clock::time_point> b);

} // namespace marlow::station
