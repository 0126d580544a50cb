#pragma once
// The front panel's timers, all on the user-interface thread:
//   Refresh       timer 1: the 500 ms refresh that animates the flash write;
//                 the phone port wait runs it at 10 ms (the phone engine's
//                 PortPoll is this timer);
//   BootWatchdog  timer 2: a phone boot that stays silent;
//   UsbWait       the one-second tick of the wait for the PDA device.
// Each timer ticks with its period until stopped; starting a running timer
// restarts it with the new period. Ticks go to one handler, the panel's.
// Tests use a clock whose ticks they fire by hand and whose time moves by a
// period per tick, so a 31-second wait or 5000 polls take no time at all.

#include <chrono>
#include <functional>
#include <memory>

namespace marlow::panel {

enum class PanelTimer { Refresh, BootWatchdog, UsbWait };
inline constexpr int kPanelTimerCount = 3;

inline constexpr std::chrono::milliseconds kRefreshPeriod{500};
inline constexpr std::chrono::milliseconds kPhonePollPeriod{10};
inline constexpr std::chrono::milliseconds kBootWatchdogPeriod{1000};
inline constexpr std::chrono::milliseconds kUsbWaitPeriod{1000};

class PanelClock {
public:
    using TickHandler = std::function<void(PanelTimer)>;

    virtual ~PanelClock() = default;

    virtual void Start(PanelTimer timer, std::chrono::milliseconds period) = 0;
    virtual void Stop(PanelTimer timer) = 0;
    virtual bool IsRunning(PanelTimer timer) const = 0;
    // The period it was last started with.
    virtual std::chrono::milliseconds Period(PanelTimer timer) const = 0;
    // The time the timers keep to.
    virtual std::chrono::steady_clock::time_point Now() const = 0;

    void SetTickHandler(TickHandler handler) { handler_ = std::move(handler); }

protected:
    void Deliver(PanelTimer timer) const {
        if (handler_)
            handler_(timer);
    }

private:
    TickHandler handler_;
};

// Qt timers on the thread that creates the clock.
std::unique_ptr<PanelClock> MakeQtPanelClock();

} // namespace marlow::panel
