#pragma once
// The PDA download's receiver on the front panel: the panel's run hears the
// handset run's events on the user-interface thread, decides what they mean
// for the run (a fact that does not fit the run on show is kept off the
// controls), then the front-panel skin turns each into the panel's controls.

#include "pda/pda_events.h"
#include "skins/front_panel_skin.h"

namespace marlow::panel {

class PanelPdaOutput : public pda::PdaEventSink {
public:
    explicit PanelPdaOutput(FrontPanelView& view) : skin_(view) {}

    void Post(const pda::PdaEvent& event) override;

private:
    FrontPanelSkin skin_;
};

} // namespace marlow::panel
