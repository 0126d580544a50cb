#include "cli/pda_event_printer.h"

#include "cli/output.h"

#include <QJsonObject>

namespace marlow::cli {

std::optional<QJsonObject> PdaEventJson(const pda::PdaEvent& event, const std::string& device) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return std::nullopt;
    QJsonObject line = JsonOf(pda::RecordOf(event));
    line["device"] = QString::fromStdString(device);
    return line;
}

QJsonObject NotServedJson(const std::string& device, const std::string& reason) {
    QJsonObject line;
    line["event"] = "not-served";
    line["device"] = QString::fromStdString(device);
    line["reason"] = QString::fromStdString(reason);
    return line;
}

QJsonObject ProblemJson(const std::string& text) {
    QJsonObject line;
    line["event"] = "problem";
    line["text"] = QString::fromStdString(text);
    return line;
}

CliPdaEvents::CliPdaEvents(std::string device, PdaCliOutput output, ProgressBoard& board,
                           std::mutex& stdoutLock,
                           std::function<void(const pda::PdaEvent&)> onEvent)
    : device_(std::move(device)), output_(output), board_(board), stdoutLock_(stdoutLock),
      onEvent_(std::move(onEvent)), line_(board.AddLine(device_)) {}

// The events of one run come one at a time from its thread (the connected
// display and the download command come before the thread starts).
void CliPdaEvents::Post(const pda::PdaEvent& event) {
    if (onEvent_)
        onEvent_(event);
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: for the watchdog only
    skin_.Show(event);
    ShowOnBoard(event);
    if (output_.json)
        Json(event);
}

void CliPdaEvents::ShowOnBoard(const pda::PdaEvent& event) {
    if (const auto* finished = std::get_if<RunFinished>(&event))
        return board_.Finish(line_, VerdictName(finished->verdict) +
                                        (finished->reason.empty() ? "" : ": " + finished->reason));
    if (const auto* entered = std::get_if<pda::StateEntered>(&event)) {
        state_ = pda::StateName(entered->state);
    } else if (const auto* started = std::get_if<pda::ImageStarted>(&event)) {
        image_ = started->image;
        percent_ = 0;
    } else if (const auto* reached = std::get_if<pda::PercentReached>(&event)) {
        percent_ = reached->percent;
    } else {
        return;
    }
    board_.Update(line_, image_, percent_, state_);
}

void CliPdaEvents::Json(const pda::PdaEvent& event) {
    const std::optional<QJsonObject> line = PdaEventJson(event, device_);
    std::lock_guard lock(stdoutLock_);
    OutJsonLine(*line);
}

void CliPdaEvents::FlushTrace() {
    const std::string text = view_.TakeUnprinted();
    if (text.empty())
        return;
    std::lock_guard lock(stdoutLock_);
    OutNow(CrLfToLf(text));
}

void CliPdaEvents::TextView::Trace(app::MessageWindowId window, std::string_view text) {
    if (window == app::MessageWindowId::DeviceState && owner_.output_.trace)
        printer_.WritePrint(*this, text);
}

void CliPdaEvents::TextView::ClearTrace(app::MessageWindowId window) {
    if (window != app::MessageWindowId::DeviceState || !owner_.output_.trace)
        return;
    printer_.ClearMessageWindow(*this);
    printed_ = 0;
}

void CliPdaEvents::TextView::MessageBox(std::string_view text, std::string_view caption) {
    owner_.board_.Note(owner_.device_ + ": message box" +
                       (caption.empty() ? "" : " \"" + std::string(caption) + "\"") + ": " +
                       std::string(text));
}

void CliPdaEvents::TextView::ReplaceToEnd(std::size_t from, std::string_view text) {
    text_.resize(std::min(from, text_.size()));
    printed_ = std::min(printed_, text_.size());
    text_.append(text);
    if (owner_.output_.streamTrace)
        owner_.FlushTrace();
}

std::string CliPdaEvents::TextView::TakeUnprinted() {
    std::string unprinted = text_.substr(printed_);
    printed_ = text_.size();
    return unprinted;
}

} // namespace marlow::cli
