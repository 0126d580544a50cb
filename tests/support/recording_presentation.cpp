#include "support/recording_presentation.h"

namespace marlow::test {

namespace {
std::string Text(const char* target, std::string_view text) {
    return std::string(target) + "|" + std::string(text);
}
} // namespace

void RecordingPresentation::Add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingPresentation::DeviceStateTrace(std::string_view text) {
    Add(Text("trace", text));
}
void RecordingPresentation::ClearDeviceState() {
    Add("clear");
}
void RecordingPresentation::DebugMessage(std::string_view text) {
    Add(Text("debug", text));
}
void RecordingPresentation::StatusBar(std::string_view text) {
    Add(Text("status", text));
}
void RecordingPresentation::CreateDownloadProgress(int low, int high) {
    Add("bar|create " + std::to_string(low) + "-" + std::to_string(high));
}
void RecordingPresentation::SetDownloadProgress(int position) {
    Add("bar|" + std::to_string(position));
}
void RecordingPresentation::CloseDownloadProgress() {
    Add("bar|close");
}
void RecordingPresentation::ShowWaitDialog() {
    Add("wait|show");
}
void RecordingPresentation::CloseWaitDialog() {
    Add("wait|close");
}
void RecordingPresentation::PanelStatus(std::string_view text) {
    Add(Text("1032", text));
}
void RecordingPresentation::PanelFileName(std::string_view text) {
    Add(Text("1037", text));
}
void RecordingPresentation::PanelPercent(std::string_view text) {
    Add(Text("1039", text));
}
void RecordingPresentation::PanelCounter(std::string_view text) {
    Add(Text("1069", text));
}
void RecordingPresentation::PanelProgressRange(int low, int high) {
    Add("1000|range " + std::to_string(low) + "-" + std::to_string(high));
}
void RecordingPresentation::PanelProgress(int position) {
    Add("1000|" + std::to_string(position));
}
void RecordingPresentation::PanelEnableClose() {
    Add("1029|enable");
}
void RecordingPresentation::PanelEnableDownStart() {
    Add("1028|enable");
}
void RecordingPresentation::PanelEventList(std::string_view text) {
    Add(Text("1136", text));
}
void RecordingPresentation::MessageBox(std::string_view text, std::string_view caption) {
    Add("box|" + std::string(text) + "|" + std::string(caption));
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
