#pragma once
// The phone engine's timers as Qt timers on the owner's thread; ticks go to
// the owner's handler, which decides whether the engine hears them.

#include "phone/phone_clock.h"

#include <QTimer>
#include <array>
#include <functional>

namespace marlow::phone {

class QtPhoneClock : public PhoneClock {
public:
    explicit QtPhoneClock(std::function<void(PhoneTimer)> onTick);

    void StartTimer(PhoneTimer timer, std::chrono::milliseconds period) override;
    void StopTimer(PhoneTimer timer) override;
    void Pause(std::chrono::milliseconds duration) override;

    bool IsRunning(PhoneTimer timer) const;

private:
    QTimer& TimerFor(PhoneTimer timer);
    std::array<QTimer, 2> timers_;
};

} // namespace marlow::phone
