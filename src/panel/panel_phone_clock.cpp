#include "panel/panel_phone_clock.h"

#include <thread>

namespace marlow::panel {

PanelPhoneClock::PanelPhoneClock(PanelClock& clock,
                                 std::function<void(std::chrono::milliseconds)> pause)
    : clock_(clock), pause_(std::move(pause)) {}

PanelTimer PanelPhoneClock::PanelTimerOf(phone::PhoneTimer timer) {
    return timer == phone::PhoneTimer::PortPoll ? PanelTimer::Refresh : PanelTimer::BootWatchdog;
}

void PanelPhoneClock::StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds period) {
    clock_.Start(PanelTimerOf(timer), period);
}

void PanelPhoneClock::StopTimer(phone::PhoneTimer timer) {
    clock_.Stop(PanelTimerOf(timer));
}

void PanelPhoneClock::Pause(std::chrono::milliseconds duration) {
    if (pause_)
        pause_(duration);
    else
        std::this_thread::sleep_for(duration);
}

} // namespace marlow::panel
