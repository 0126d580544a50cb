#pragma once
// The phone download's receiver on the front panel. The engine runs on the
// user-interface thread, so nothing is posted: each event goes through the
// front-panel skin into the panel's controls. The panel's run hears each
// event first, so that at the run's end it has decided what follows before
// the last (modal) box is up.

#include "phone/phone_events.h"
#include "skins/front_panel_skin.h"

#include <functional>

namespace marlow::panel {

class PanelPhoneOutput : public phone::PhoneEventSink {
public:
    using Heard = std::function<void(const phone::PhoneRunEvent&)>;

    PanelPhoneOutput(FrontPanelView& view, Heard heard) : skin_(view), heard_(std::move(heard)) {}

    void Post(const phone::PhoneRunEvent& event) override;

private:
    FrontPanelSkin skin_;
    Heard heard_;
};

} // namespace marlow::panel
