#pragma once
// The command line's owner thread for a phone engine: one queue of tasks
// (reports posted by the library, device events) and the engine's timers,
// all run on the command's own thread. Ctrl-C sets a flag that the loop
// sees within a tenth of a second.

#include "phone/owner_thread.h"
#include "phone/phone_clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace marlow::cli {

class PhoneCliLoop : public phone::OwnerThread, public phone::PhoneClock {
public:
    using TickHandler = std::function<void(phone::PhoneTimer)>;

    void SetTickHandler(TickHandler onTick) { onTick_ = std::move(onTick); }

    void Post(std::function<void()> task) override;
    void StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds period) override;
    void StopTimer(phone::PhoneTimer timer) override;
    void Pause(std::chrono::milliseconds duration) override;

    // Runs queued tasks and due timer ticks, waiting at most `wait` for the
    // first of them.
    void RunOnce(std::chrono::milliseconds wait);
    bool TimerRunning(phone::PhoneTimer timer) const;

private:
    using Clock = std::chrono::steady_clock;
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

// Ctrl-C as a flag, for the duration of a command.
class InterruptFlag {
public:
    InterruptFlag();
    ~InterruptFlag();
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;
    bool Raised() const;
};

} // namespace marlow::cli
