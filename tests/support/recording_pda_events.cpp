#include "support/recording_pda_events.h"

namespace marlow::test {

void RecordingPdaEvents::Post(const pda::PdaEvent& event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    if (context_.Settings().frontPanelMode)
        frontPanel_.Show(event);
    else
        mainWindow_.Show(event);
}

std::vector<pda::PdaEvent> RecordingPdaEvents::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

RunFinished RecordingPdaEvents::Finished() const {
    const std::vector<pda::PdaEvent> events = Events();
    if (events.empty() || !std::holds_alternative<RunFinished>(events.back()))
        return {Verdict::Failed, "no run-finished event"};
    return std::get<RunFinished>(events.back());
}

} // namespace marlow::test
