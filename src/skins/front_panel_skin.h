#pragma once
// The front panel's words for a run: turns the PDA download's and the
// phone download's events into
// the panel's status line, percent and file labels, counter, progress bar,
// buttons and log list of a FrontPanelView. No widgets: the panel runs it
// into its controls, `marlow-cli total` into its text display, tests into a
// recording view.

#include "pda/pda_events.h"
#include "phone/phone_events.h"
#include "skins/front_panel_view.h"

namespace marlow::panel {

class FrontPanelSkin {
public:
    explicit FrontPanelSkin(FrontPanelView& view) : view_(view) {}

    void Show(const pda::PdaEvent& event);
    void Show(const phone::PhoneRunEvent& event);

private:
    FrontPanelView& view_;
};

} // namespace marlow::panel
