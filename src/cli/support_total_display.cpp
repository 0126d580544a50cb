#include "cli/support_total_display.h"

#include "cli/support_output.h"

#include <QJsonObject>

namespace marlow::cli {

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
        line_.Note("total: " + reason);
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
    line_.Show(part, position_);
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
    line_.Note(text);
}

void TotalDisplay::Problem(const std::string& text) {
    const std::lock_guard lock(mutex_);
    Event("problem", text);
    line_.Note(text);
}

void TotalDisplay::Close() {
    const std::lock_guard lock(mutex_);
    line_.Close();
}

void TotalDisplay::PanelStatus(std::string_view text) {
    const std::lock_guard lock(mutex_);
    status_ = text;
    Event("status", text);
    Redraw();
}

void TotalDisplay::PanelFileName(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("file", text);
    file_ = text;
    Redraw();
}

void TotalDisplay::PanelPercent(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("percent", text);
}

void TotalDisplay::PanelCounter(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Event("counter", text);
    counter_ = text;
}

void TotalDisplay::PanelProgress(int position) {
    const std::lock_guard lock(mutex_);
    Progressed();
    position_ = position;
    Redraw();
}

void TotalDisplay::MessageBox(std::string_view text, std::string_view caption) {
    const std::lock_guard lock(mutex_);
    Event("messageBox", text);
    line_.Note("message: " + std::string(text) +
               (caption.empty() ? "" : " [" + std::string(caption) + "]"));
}

void TotalDisplay::Progress(const pda::PdaProgressEvent& event) {
    {
        const std::lock_guard lock(mutex_);
        Progressed();
    }
    if (event.kind == pda::PdaProgressEvent::Kind::Finished && hooks_.pdaFinished)
        hooks_.pdaFinished(event);
}

void TotalDisplay::Show(phone::PhoneTarget target, std::string_view text) {
    switch (target) {
    case phone::PhoneTarget::StatusLine:
        PanelStatus(text);
        return;
    case phone::PhoneTarget::CurrentFile:
        PanelFileName(text);
        return;
    case phone::PhoneTarget::PercentLabel:
        PanelPercent(text);
        return;
    case phone::PhoneTarget::LogList:
        Log(text);
        return;
    case phone::PhoneTarget::DeviceState:
    case phone::PhoneTarget::DebugMessage:
        return;
    }
}

void TotalDisplay::Clear(phone::PhoneTarget target) {
    if (target == phone::PhoneTarget::LogList) {
        const std::lock_guard lock(mutex_);
        Event("clearLog", "");
    }
}

void TotalDisplay::Progress(phone::PhoneProgress progress) {
    if (progress.kind == phone::PhoneProgress::Kind::Value)
        PanelProgress(progress.percent);
}

void TotalDisplay::TwoLineMessage(std::string_view first, std::string_view second, std::uint32_t) {
    MessageBox(std::string(first) + " " + std::string(second), "");
}

void TotalDisplay::RunEnded(phone::PhoneRunEnd end) {
    const std::lock_guard lock(mutex_);
    Event("phoneEnd", PhoneRunEndName(end));
    phoneEnded_ = end;
}

std::optional<phone::PhoneRunEnd> TotalDisplay::PhoneEnded() const {
    const std::lock_guard lock(mutex_);
    return phoneEnded_;
}

} // namespace marlow::cli
