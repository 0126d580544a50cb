#pragma once
// What a phone run decides besides its words: how long the modem's port is
// left to settle, whether a stalled boot is watched and re-booted once, which
// reports count while the modem boots, and how long the port is waited for.
// The main window and the front panel have always decided these differently;
// their presets keep that.

#include <chrono>
#include <optional>

namespace marlow::phone {

// Port polls before the wait gives up.
inline constexpr int kMainWindowPortPolls = 3000;
inline constexpr int kFrontPanelPortPolls = 5000;

struct PhoneRunPolicy {
    // A pause between finding the port and opening it.
    std::chrono::milliseconds portSettle{0};
    // When set: a boot that brings no "done" in this time is aborted and the
    // modem booted again (state stReBooting), once per tick.
    std::optional<std::chrono::milliseconds> bootWatchdog;
    // While the modem boots or takes the PSI loader, only "done" counts; a
    // stalled boot is left to the watchdog.
    bool onlyDoneWhileBooting = false;
    int portPolls = kMainWindowPortPolls;
    // A found port that will not open ends the run; otherwise the run waits
    // for its operator's stop.
    bool openFailureEndsRun = true;

    static PhoneRunPolicy MainWindow() { return {}; }
    static PhoneRunPolicy FrontPanel() {
        return {std::chrono::milliseconds(250), std::chrono::milliseconds(1000), true,
                kFrontPanelPortPolls, false};
    }
};

} // namespace marlow::phone
