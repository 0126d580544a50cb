#include "panel/panel_clock.h"

#include <QTimer>
#include <array>

namespace marlow::panel {

namespace {

class QtPanelClock final : public PanelClock {
public:
    QtPanelClock() {
        for (int index = 0; index < kPanelTimerCount; ++index) {
            QTimer& timer = timers_[index];
            timer.setTimerType(Qt::PreciseTimer);
            QObject::connect(&timer, &QTimer::timeout,
                             [this, index] { Deliver(static_cast<PanelTimer>(index)); });
        }
    }

    void Start(PanelTimer timer, std::chrono::milliseconds period) override {
        At(timer).start(period);
    }
    void Stop(PanelTimer timer) override { At(timer).stop(); }
    bool IsRunning(PanelTimer timer) const override { return At(timer).isActive(); }
    std::chrono::milliseconds Period(PanelTimer timer) const override {
        return At(timer).intervalAsDuration();
    }
    std::chrono::steady_clock::time_point Now() const override {
        return std::chrono::steady_clock::now();
    }

private:
    QTimer& At(PanelTimer timer) { return timers_[static_cast<std::size_t>(timer)]; }
    const QTimer& At(PanelTimer timer) const { return timers_[static_cast<std::size_t>(timer)]; }

    std::array<QTimer, kPanelTimerCount> timers_;
};

} // namespace

std::unique_ptr<PanelClock> MakeQtPanelClock() {
    return std::make_unique<QtPanelClock>();
}

} // namespace marlow::panel
