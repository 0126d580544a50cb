#include "phone/qt_phone_clock.h"

#include <thread>

namespace marlow::phone {

QtPhoneClock::QtPhoneClock(std::function<void(PhoneTimer)> onTick) {
    for (const PhoneTimer timer : {PhoneTimer::PortPoll, PhoneTimer::BootWatchdog}) {
        QTimer& qtimer = TimerFor(timer);
        qtimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&qtimer, &QTimer::timeout, [onTick, timer] { onTick(timer); });
    }
}

QTimer& QtPhoneClock::TimerFor(PhoneTimer timer) {
    return timers_[timer == PhoneTimer::PortPoll ? 0 : 1];
}

void QtPhoneClock::StartTimer(PhoneTimer timer, std::chrono::milliseconds period) {
    TimerFor(timer).start(period);
}

void QtPhoneClock::StopTimer(PhoneTimer timer) {
    TimerFor(timer).stop();
}

void QtPhoneClock::Pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool QtPhoneClock::IsRunning(PhoneTimer timer) const {
    return timers_[timer == PhoneTimer::PortPoll ? 0 : 1].isActive();
}

} // namespace marlow::phone
