#pragma once
// The panel's timers for tests: nothing ticks by itself. Fire() delivers one
// tick of a running timer and moves the clock's time on by its period, so a
// 31-second wait or 5000 polls run in no time and in a known order.

#include "panel/panel_clock.h"

#include <array>

namespace marlow::test {

using panel::PanelClock;
using panel::PanelTimer;

class ManualPanelClock : public PanelClock {
public:
    void Start(PanelTimer timer, std::chrono::milliseconds period) override {
        At(timer) = {.running = true, .period = period};
    }
    void Stop(PanelTimer timer) override { At(timer).running = false; }
    bool IsRunning(PanelTimer timer) const override { return At(timer).running; }
    std::chrono::milliseconds Period(PanelTimer timer) const override { return At(timer).period; }
    std::chrono::steady_clock::time_point Now() const override { return now_; }

    // False when the timer is not running: no tick.
    bool Fire(PanelTimer timer) {
        if (!At(timer).running)
            return false;
        now_ += At(timer).period;
        Deliver(timer);
        return true;
    }

private:
    struct State {
        bool running = false;
        std::chrono::milliseconds period{0};
    };
    State& At(PanelTimer timer) { return states_[static_cast<std::size_t>(timer)]; }
    const State& At(PanelTimer timer) const { return states_[static_cast<std::size_t>(timer)]; }

    std::array<State, panel::kPanelTimerCount> states_{};
    std::chrono::steady_clock::time_point now_{};
};

} // namespace marlow::test
