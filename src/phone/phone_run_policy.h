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
    // modem booted again (state stReBooting), once per start.
    std::optional<std::chrono::milliseconds> bootWatchdog;
    // After that one re-boot, a boot still unanswered this long fails the
    // run. The library's own boot time-out (1.2 s) normally speaks first,
    // and its error, which counts after the re-boot, fails it with its reason.
    std::chrono::milliseconds reBootLimit{5000};
    // While the modem first boots only "done" counts, a stalled boot is left
    // to the watchdog; progress is not shown until the PSI loader is in. An
    // error after the re-boot or during the PSI loader ends the run, since
    // nothing else would.
    bool onlyDoneWhileBooting = false;
    int portPolls = kMainWindowPortPolls;
    // A found port that will not open ends the run; otherwise the run waits
    // for its operator's stop.
    bool openFailureEndsRun = true;

    static PhoneRunPolicy MainWindow() { return {}; }
    static PhoneRunPolicy FrontPanel() {
        return {.portSettle = std::chrono::milliseconds(250),
                .bootWatchdog = std::chrono::milliseconds(1000),
                .onlyDoneWhileBooting = true,
                .portPolls = kFrontPanelPortPolls,
                .openFailureEndsRun = false};
    }
};

} // namespace marlow::phone
