#pragma once
// The PDA download's receiver on the front panel. Events come on the
// download thread (and the watcher's); each is posted to the user-interface
// thread in order, so the download thread never waits for the panel. There
// the panel's run hears it first (its verdict decides what follows; a fact
// that does not fit the run on show is kept off the controls), then the
// front-panel skin turns it into the panel's controls.

#include "pda/pda_events.h"
#include "skins/front_panel_skin.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace marlow::panel {

class PanelPdaOutput : public pda::PdaEventSink {
public:
    // False: the event is not shown.
    using Heard = std::function<bool(const pda::PdaEvent&)>;

    // `receiver` lives on the user-interface thread, no longer than `view`
    // and this output; posts that find it gone are dropped.
    PanelPdaOutput(QObject& receiver, FrontPanelView& view, Heard heard);

    void Post(const pda::PdaEvent& event) override;

private:
    QPointer<QObject> receiver_;
    FrontPanelSkin skin_;
    Heard heard_;
};

} // namespace marlow::panel
