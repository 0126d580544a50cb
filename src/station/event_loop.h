#pragma once
// The event loop of the commands and of each station slot: one queue of tasks (device arrivals and
// removals, library reports, finished runs, stop signals) and the phone
// engine's timers, all run on the loop's own thread. It sleeps until a
// task is posted, a timer is due or the caller's deadline has come; waiting
// costs nothing.

#include "phone/owner_thread.h"
#include "phone/phone_clock.h"
#include "usb/device_source.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace marlow::station {

class EventLoop : public phone::OwnerThread, public phone::PhoneClock {
public:
    using Clock = std::chrono::steady_clock;
    using TickHandler = std::function<void(phone::PhoneTimer)>;

    void SetTickHandler(TickHandler onTick) { onTick_ = std::move(onTick); }

    // Any thread.
    void Post(std::function<void()> task) override;
    void StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds period) override;
    void StopTimer(phone::PhoneTimer timer) override;
    void Pause(std::chrono::milliseconds duration) override;

    // Runs queued tasks and due timer ticks, waiting for the first of them
    // or for `until`; without `until` only a task or a timer ends the wait.
    void RunOnce(std::optional<Clock::time_point> until = std::nullopt);
    void RunOnce(std::chrono::milliseconds wait) { RunOnce(Clock::now() + wait); }
    bool TimerRunning(phone::PhoneTimer timer) const;

private:
    struct Timer {
        std::chrono::milliseconds period{0};
        Clock::time_point due;
    };
    void RunDueTimers();

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    std::map<phone::PhoneTimer, Timer> timers_; // touched on the loop's thread only
    TickHandler onTick_;
};

// A device source's reports as tasks of the command's loop: each handler runs
// on the loop's thread, in the order the source reported.
usb::DeviceEvents PostedTo(EventLoop& loop, usb::DeviceEvents handlers);

} // namespace marlow::station
