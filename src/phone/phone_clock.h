#pragma once
// The phone engine's timers and pauses. Each timer ticks with its period
// until stopped, as window timers do; ticks arrive on the owner's thread,
// which hands them to PhoneEngine::OnTimer. The front panel's timer 1 is
// both its refresh tick and the port poll: its clock maps PortPoll onto it.
// Tests fire ticks by hand, set the time and let pauses pass at once.

#include <chrono>

namespace marlow::phone {

enum class PhoneTimer {
    PortPoll,     // timer 1: the phone port wait, every 10 ms
    BootWatchdog, // timer 2, front panel only: a boot that stays silent
};

class PhoneClock {
public:
    virtual ~PhoneClock() = default;
    // Starting a running timer restarts it with the new period.
    virtual void StartTimer(PhoneTimer timer, std::chrono::milliseconds period) = 0;
    virtual void StopTimer(PhoneTimer timer) = 0;
    // Blocks the owner's thread, as the modem needs these settling times.
    virtual void Pause(std::chrono::milliseconds duration) = 0;
    // The time the timers keep to; a sleeping port wait counts its polls by it.
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }
};

} // namespace marlow::phone
