#include "support/recording_presentation.h"

namespace marlow::test {

void RecordingPresentation::Add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingPresentation::Progress(const pda::PdaProgressEvent& event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
}

std::vector<std::string> RecordingPresentation::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingPresentation::Calls(const std::string& prefix) const {
    std::vector<std::string> selected;
    for (const std::string& call : Calls())
        if (call.rfind(prefix, 0) == 0)
            selected.push_back(call);
    return selected;
}

std::string RecordingPresentation::DeviceStateText() const {
    std::string text;
    for (const std::string& call : Calls()) {
        if (call == "clear")
            text.clear();
        else if (call.rfind("trace|", 0) == 0)
            text += call.substr(6);
    }
    return text;
}

std::vector<pda::PdaProgressEvent> RecordingPresentation::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void RecordingPresentation::Reset() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    events_.clear();
}

} // namespace marlow::test
