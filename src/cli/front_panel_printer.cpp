#include "cli/front_panel_printer.h"

#include "cli/output.h"

#include <QJsonObject>

namespace marlow::cli {

namespace {

// The run's own steps (the controls' changes count as well, in Event).
bool CountsAsProgress(const pda::PdaEvent& event) {
    return std::holds_alternative<pda::StateEntered>(event) ||
           std::holds_alternative<pda::ImageStarted>(event) ||
           std::holds_alternative<pda::PercentReached>(event) ||
           std::holds_alternative<pda::DeviceAnswered>(event) ||
           std::holds_alternative<RunFinished>(event);
}

} // namespace

TotalDisplay::TotalDisplay(PhoneCliOutput output, Hooks hooks)
    : output_(output), hooks_(std::move(hooks)) {}

void TotalDisplay::Event(const char* kind, std::string_view text) {
    Progressed();
    if (!output_.json)
        return;
    QJsonObject event;
    event["event"] = kind;
    event["text"] = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    OutJsonLine(event);
}

void TotalDisplay::Progressed() {
    if (hooks_.progressed)
        hooks_.progressed(half_ + ": " + status_);
}

void TotalDisplay::Report(const char* kind, std::string_view text, const std::string& reason) {
    const std::lock_guard lock(mutex_);
    if (output_.json) {
        QJsonObject event;
        event["event"] = kind;
        event["text"] = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        event["reason"] = QString::fromStdString(reason);
        OutJsonLine(event);
    }
    if (!reason.empty())
        board_.Note("total: " + reason);
}

void TotalDisplay::BeginPhoneHalf() {
    const std::lock_guard lock(mutex_);
    half_ = "phone";
    counter_.clear();
    file_.clear();
}

void TotalDisplay::Redraw() {
    std::string part = half_ + ": " + status_;
    if (!file_.empty())
        part += " " + file_;
    if (!counter_.empty())
        part += " [" + counter_ + "]";
    board_.Update(line_, "", position_, part);
}

void TotalDisplay::Log(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("log", text);
    if (output_.trace && !output_.json) {
        Out(std::string(text) + "\n");
        std::fflush(stdout);
    }
}

void TotalDisplay::Note(const std::string& text) {
    const std::lock_guard lock(mutex_);
    board_.Note(text);
}

void TotalDisplay::Problem(const std::string& text) {
    const std::lock_guard lock(mutex_);
    Event("problem", text);
    board_.Note(text);
}

void TotalDisplay::Close() {
    const std::lock_guard lock(mutex_);
    board_.Close();
}

void TotalDisplay::Status(std::string_view text) {
    const std::lock_guard lock(mutex_);
    status_ = text;
    Event("status", text);
    Redraw();
}

void TotalDisplay::CurrentFile(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("file", text);
    file_ = text;
    Redraw();
}

void TotalDisplay::Percent(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("percent", text);
}

void TotalDisplay::Counter(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("counter", text);
    counter_ = text;
}

void TotalDisplay::Progress(int position) {
    const std::lock_guard lock(mutex_);
    Progressed();
    position_ = position;
    Redraw();
}

void TotalDisplay::MessageBox(std::string_view text, std::string_view caption) {
    const std::lock_guard lock(mutex_);
    Event("messageBox", text);
    board_.Note("message: " + std::string(text) +
                (caption.empty() ? "" : " [" + std::string(caption) + "]"));
}

void TotalDisplay::Post(const pda::PdaEvent& event) {
    skin_.Show(event);
    if (CountsAsProgress(event)) {
        const std::lock_guard lock(mutex_);
        Progressed();
    }
    if (const auto* finished = std::get_if<RunFinished>(&event); finished && hooks_.pdaFinished)
        hooks_.pdaFinished(*finished);
}

void TotalDisplay::Post(const phone::PhoneRunEvent& event) {
    // The panel's run hears the end before the last (modal) box.
    if (const std::optional<phone::PhoneRunEnd> end = phoneEnds_.Follow(event)) {
        const std::lock_guard lock(mutex_);
        Event("phoneEnd", PhoneRunEndName(*end));
        phoneEnded_ = end;
    }
    skin_.Show(event);
}

void TotalDisplay::ClearLog() {
    const std::lock_guard lock(mutex_);
    Event("clearLog", "");
}

void TotalDisplay::TwoLineMessage(std::string_view first, std::string_view second, std::uint32_t) {
    MessageBox(std::string(first) + " " + std::string(second), "");
}

std::optional<phone::PhoneRunEnd> TotalDisplay::PhoneEnded() const {
    const std::lock_guard lock(mutex_);
    return phoneEnded_;
}

} // namespace marlow::cli
