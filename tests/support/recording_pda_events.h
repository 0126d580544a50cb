#pragma once
// Records a PDA download's events, and what the skin of the run's
// presentation (the context's front-panel mode, read at each event) makes
// of them (see RecordingSkin for the lines). Safe to call from the download
// thread.

#include "pda/pda_run_context.h"
#include "support/recording_skin.h"

namespace marlow::test {

class RecordingPdaEvents : public pda::PdaEventSink, public RecordingSkin {
public:
    explicit RecordingPdaEvents(const pda::PdaRunContext& context) : context_(context) {}

    void Post(const pda::PdaEvent& event) override;

    std::vector<pda::PdaEvent> Events() const;
    // The run's last word.
    RunFinished Finished() const;

private:
    const pda::PdaRunContext& context_;
    app::MainWindowSkin mainWindow_{*this};
    panel::FrontPanelSkin frontPanel_{*this};
    mutable std::mutex mutex_;
    std::vector<pda::PdaEvent> events_;
};

} // namespace marlow::test
