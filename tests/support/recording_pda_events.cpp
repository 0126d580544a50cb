#include "support/recording_pda_events.h"

namespace marlow::test {

namespace {
std::string Text(const char* target, std::string_view text) {
    return std::string(target) + "|" + std::string(text);
}
} // namespace

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

void RecordingPdaEvents::Add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingPdaEvents::Trace(app::MessageWindowId window, std::string_view text) {
    Add(Text(window == app::MessageWindowId::DeviceState ? "trace" : "debug", text));
}
void RecordingPdaEvents::ClearTrace(app::MessageWindowId) {
    Add("clear");
}
void RecordingPdaEvents::StatusBar(std::string_view text) {
    Add(Text("status", text));
}
void RecordingPdaEvents::CreateProgress(int low, int high) {
    Add("bar|create " + std::to_string(low) + "-" + std::to_string(high));
}
void RecordingPdaEvents::SetProgress(int position) {
    Add("bar|" + std::to_string(position));
}
void RecordingPdaEvents::CloseProgress() {
    Add("bar|close");
}
void RecordingPdaEvents::ShowWaitBox() {
    Add("wait|show");
}
void RecordingPdaEvents::CloseWaitBox() {
    Add("wait|close");
}
void RecordingPdaEvents::Status(std::string_view text) {
    Add(Text("1032", text));
}
void RecordingPdaEvents::CurrentFile(std::string_view text) {
    Add(Text("1037", text));
}
void RecordingPdaEvents::Percent(std::string_view text) {
    Add(Text("1039", text));
}
void RecordingPdaEvents::Counter(std::string_view text) {
    Add(Text("1069", text));
}
void RecordingPdaEvents::ProgressRange(int low, int high) {
    Add("1000|range " + std::to_string(low) + "-" + std::to_string(high));
}
void RecordingPdaEvents::Progress(int position) {
    Add("1000|" + std::to_string(position));
}
void RecordingPdaEvents::EnableStop() {
    Add("1029|enable");
}
void RecordingPdaEvents::EnableDownStart() {
    Add("1028|enable");
}
void RecordingPdaEvents::Log(std::string_view text) {
    Add(Text("1136", text));
}
void RecordingPdaEvents::ClearLog() {
    Add("1136|clear");
}
void RecordingPdaEvents::MessageBox(std::string_view text, std::string_view caption) {
    Add("box|" + std::string(text) + "|" + std::string(caption));
}
void RecordingPdaEvents::TwoLineMessage(std::string_view first, std::string_view second,
                                        std::uint32_t) {
    Add("two|" + std::string(first) + "|" + std::string(second));
}

std::vector<std::string> RecordingPdaEvents::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingPdaEvents::Calls(const std::string& prefix) const {
    std::vector<std::string> selected;
    for (const std::string& call : Calls())
        if (call.rfind(prefix, 0) == 0)
            selected.push_back(call);
    return selected;
}

std::string RecordingPdaEvents::DeviceStateText() const {
    std::string text;
    for (const std::string& call : Calls()) {
        if (call == "clear")
            text.clear();
        else if (call.rfind("trace|", 0) == 0)
            text += call.substr(6);
    }
    return text;
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

void RecordingPdaEvents::Reset() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    events_.clear();
}

} // namespace marlow::test
