#pragma once
// The main window's words for a run: turns the PDA download's and the
// phone download's events into
// the Device State and Debug Message windows' traces, the status bar, the
// progress bar, the wait box and message boxes of a MainWindowView. No
// widgets: the GUI runs it on its user-interface thread, the CLI into a
// text view, tests into a recording view.

#include "pda/pda_events.h"
#include "phone/phone_events.h"
#include "skins/main_window_view.h"

namespace marlow::app {

class MainWindowSkin {
public:
    explicit MainWindowSkin(MainWindowView& view) : view_(view) {}

    void Show(const pda::PdaEvent& event);
    void Show(const phone::PhoneRunEvent& event);

private:
    MainWindowView& view_;
};

} // namespace marlow::app
