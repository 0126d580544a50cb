#include "panel/panel_phone_output.h"

namespace marlow::panel {

void PanelPhoneOutput::Post(const phone::PhoneRunEvent& event) {
    if (const std::optional<phone::PhoneRunEnd> end = ends_.Follow(event); end && ended_)
        ended_(*end);
    skin_.Show(event);
}

} // namespace marlow::panel
