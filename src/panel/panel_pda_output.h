#pragma once
// The PDA download's receiver on the front panel. Events come on the
// download thread (and the watcher's); each is posted to the user-interface
// thread in order, so the download thread never waits for the panel. There
// the front-panel skin turns it into the panel's controls, and the run's
// verdict goes to the panel's run, which decides what follows.

#include "common/run_verdict.h"
#include "panel/front_panel_skin.h"
#include "pda/pda_events.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace marlow::panel {

class PanelPdaOutput : public pda::PdaEventSink {
public:
    using Finished = std::function<void(const RunFinished&)>;

    // `receiver` lives on the user-interface thread, no longer than `view`
    // and this output; posts that find it gone are dropped.
    PanelPdaOutput(QObject& receiver, FrontPanelView& view, Finished finished);

    void Post(const pda::PdaEvent& event) override;

private:
    QPointer<QObject> receiver_;
    FrontPanelSkin skin_;
    Finished finished_;
};

} // namespace marlow::panel
