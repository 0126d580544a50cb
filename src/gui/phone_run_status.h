#pragma once
// What the main window says about a phone run outside its trace: the status
// bar's line while it runs (the step, and how long it has been waiting for
// the modem's port or for a boot that stays silent) and the verdict it ends
// with, with a box on failure that says what to do next. The clock is
// injectable so tests can let time pass without waiting.

#include "phone/phone_events.h"
#include "phone/phone_states.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace marlow::gui {

class PhoneRunStatus {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit PhoneRunStatus(Now now = Clock::now) : now_(std::move(now)) {}
    void UseClock(Now now) { now_ = std::move(now); }

    // The run now waits for the modem's port.
    void Started();
    // The engine's state after one of its steps.
    void Follow(phone::PhoneState state);
    void Ended(phone::PhoneRunEnd end);
    void Cancelled();

    // A run is under way: no verdict yet.
    bool Running() const;
    // The status bar's line changes with time alone.
    bool Counting() const;
    std::string StatusText() const;
    // The failure box's closing lines; nullopt when the run did not fail.
    std::optional<std::string> FailureAdvice() const;

private:
    enum class Phase { Idle, WaitingForPort, Booting, Downloading, Ended, Cancelled };

    void Enter(Phase phase);
    std::string Elapsed() const;
    std::string WhatFailed() const;

    Now now_;
    Phase phase_ = Phase::Idle;
    phone::PhoneState lastState_ = phone::stIdle;
    // The phase a run was in when it ended, for the verdict.
    Phase endedIn_ = Phase::Idle;
    phone::PhoneState endedInState_ = phone::stIdle;
    std::optional<phone::PhoneRunEnd> end_;
    Clock::time_point since_{};
};

} // namespace marlow::gui
