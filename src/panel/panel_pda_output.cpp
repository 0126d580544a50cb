#include "panel/panel_pda_output.h"

namespace marlow::panel {

void PanelPdaOutput::Post(const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: nothing to show
    skin_.Show(event);
}

} // namespace marlow::panel
