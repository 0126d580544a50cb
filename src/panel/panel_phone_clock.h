#pragma once
// The panel's phone engine keeps time on the panel's clock: its port poll
// is the panel's timer 1 (so a poll replaces the refresh tick, and the
// refresh tick polls too), its boot watchdog the panel's timer 2. Ticks come
// back through the panel's `ticked` signal; its owner hands a Refresh tick
// to the engine as PortPoll while a phone run is selected.

#include "panel/panel_clock.h"
#include "phone/phone_clock.h"

#include <functional>

namespace marlow::panel {

class PanelPhoneClock : public phone::PhoneClock {
public:
    // `pause` blocks for the modem's settling times; unset: a plain sleep.
    explicit PanelPhoneClock(PanelClock& clock,
                             std::function<void(std::chrono::milliseconds)> pause = {});

    void StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds period) override;
    void StopTimer(phone::PhoneTimer timer) override;
    void Pause(std::chrono::milliseconds duration) override;
    std::chrono::steady_clock::time_point Now() const override { return clock_.Now(); }

    static PanelTimer PanelTimerOf(phone::PhoneTimer timer);

private:
    PanelClock& clock_;
    std::function<void(std::chrono::milliseconds)> pause_;
};

} // namespace marlow::panel
