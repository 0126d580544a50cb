#pragma once
// The phone download's receiver on the front panel. The engine runs on the
// user-interface thread, so nothing is posted: each event goes through the
// front-panel skin into the panel's controls, and the run's end goes to the
// panel's run first, so that it has decided what follows before the last
// (modal) box is up.

#include "panel/front_panel_skin.h"
#include "phone/phone_events.h"

#include <functional>

namespace marlow::panel {

class PanelPhoneOutput : public phone::PhoneEventSink {
public:
    using Ended = std::function<void(phone::PhoneRunEnd)>;

    PanelPhoneOutput(FrontPanelView& view, Ended ended) : skin_(view), ended_(std::move(ended)) {}

    void Post(const phone::PhoneRunEvent& event) override;

private:
    FrontPanelSkin skin_;
    Ended ended_;
    phone::PhoneRunEnds ends_;
};

} // namespace marlow::panel
