#pragma once
// The phone download's receiver on the front panel: each event the panel's
// run has heard goes through the front-panel skin into the panel's
// controls. The run hears it first, so that at the run's end it has decided
// what follows before the last (modal) box is up.

#include "phone/phone_events.h"
#include "skins/front_panel_skin.h"

namespace marlow::panel {

class PanelPhoneOutput : public phone::PhoneEventSink {
public:
    explicit PanelPhoneOutput(FrontPanelView& view) : skin_(view) {}

    void Post(const phone::PhoneRunEvent& event) override { skin_.Show(event); }

private:
    FrontPanelSkin skin_;
};

} // namespace marlow::panel
