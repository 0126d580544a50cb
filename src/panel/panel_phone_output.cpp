#include "panel/panel_phone_output.h"

namespace marlow::panel {

void PanelPhoneOutput::Post(const phone::PhoneRunEvent& event) {
    if (heard_)
        heard_(event);
    skin_.Show(event);
}

} // namespace marlow::panel
