#include "cli/support_pda_progress.h"

#include "cli/support_output.h"

#include <QJsonObject>

namespace marlow::cli {

namespace {

constexpr int kBarWidth = 30;

} // namespace

// ---------------------------------------------------------------------------

int PdaProgressBoard::AddLine(const std::string& device) {
    std::lock_guard lock(mutex_);
    lines_.push_back({device, "", 0, "waiting", -1});
    Redraw();
    return static_cast<int>(lines_.size()) - 1;
}

void PdaProgressBoard::Update(int line, const std::string& image, int percent,
                              const std::string& state) {
    std::lock_guard lock(mutex_);
    Line& entry = lines_.at(static_cast<std::size_t>(line));
    entry.image = image;
    entry.percent = percent;
    entry.state = state;
    if (terminal_) {
        Redraw();
    } else if (percent / 10 != entry.lastPrintedTenth) {
        entry.lastPrintedTenth = percent / 10;
        Err(Render(entry) + "\n");
    }
}

void PdaProgressBoard::Finish(int line, const std::string& result) {
    std::lock_guard lock(mutex_);
    Line& entry = lines_.at(static_cast<std::size_t>(line));
    entry.state = result;
    if (terminal_)
        Redraw();
    else
        Err(Render(entry) + "\n");
}

void PdaProgressBoard::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (terminal_ && drawnLines_ > 0) {
        // Print above the progress lines, then draw them again below.
        Err(UpToFirstLine() + "\x1b[J");
        drawnLines_ = 0;
    }
    Err(text + "\n");
    Redraw();
}

void PdaProgressBoard::Close() {
    std::lock_guard lock(mutex_);
    if (terminal_ && drawnLines_ > 0)
        Err("\n");
    drawnLines_ = 0;
}

std::string PdaProgressBoard::UpToFirstLine() const {
    return drawnLines_ > 1 ? "\r\x1b[" + std::to_string(drawnLines_ - 1) + "A" : "\r";
}

std::string PdaProgressBoard::Render(const Line& line) const {
    const int filled = line.percent * kBarWidth / 100;
    return line.device + " [" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
           std::to_string(line.percent) + "% " + line.image + " " + line.state;
}

void PdaProgressBoard::Redraw() {
    if (!terminal_)
        return;
    std::string text = drawnLines_ > 0 ? UpToFirstLine() : "";
    for (std::size_t i = 0; i < lines_.size(); ++i)
        text += (i > 0 ? "\n" : "") + std::string("\x1b[2K") + Render(lines_[i]);
    Err(text);
    std::fflush(stderr);
    drawnLines_ = lines_.size();
}

// ---------------------------------------------------------------------------

CliPdaPresentation::CliPdaPresentation(std::string device, PdaCliOutput output,
                                       PdaProgressBoard& board, std::mutex& stdoutLock,
                                       std::function<void(const pda::PdaProgressEvent&)> onEvent)
    : device_(std::move(device)), output_(output), board_(board), stdoutLock_(stdoutLock),
      onEvent_(std::move(onEvent)), line_(board.AddLine(device_)) {}

void CliPdaPresentation::DeviceStateTrace(std::string_view text) {
    if (output_.trace)
        printer_.WritePrint(window_, text);
}

void CliPdaPresentation::ClearDeviceState() {
    if (!output_.trace)
        return;
    printer_.ClearMessageWindow(window_);
    window_.MarkCleared();
}

void CliPdaPresentation::StatusBar(std::string_view text) {
    std::lock_guard lock(stateMutex_);
    status_ = text;
}

std::string CliPdaPresentation::LastStatus() const {
    std::lock_guard lock(stateMutex_);
    return status_;
}

void CliPdaPresentation::MessageBox(std::string_view text, std::string_view caption) {
    board_.Note(device_ + ": message box" +
                (caption.empty() ? "" : " \"" + std::string(caption) + "\"") + ": " +
                std::string(text));
}

void CliPdaPresentation::Progress(const pda::PdaProgressEvent& event) {
    if (onEvent_)
        onEvent_(event);
    if (event.kind == pda::PdaProgressEvent::Kind::DeviceAnswered)
        return;
    std::string image, state;
    int percent = 0;
    {
        std::lock_guard lock(stateMutex_);
        switch (event.kind) {
        case pda::PdaProgressEvent::Kind::StateEntered:
            state_ = pda::StateName(event.state);
            break;
        case pda::PdaProgressEvent::Kind::ImageStarted:
            image_ = event.image;
            percent_ = 0;
            break;
        case pda::PdaProgressEvent::Kind::Percent:
            percent_ = event.percent;
            break;
        case pda::PdaProgressEvent::Kind::Finished:
        case pda::PdaProgressEvent::Kind::DeviceAnswered:
            break;
        }
        image = image_;
        state = state_;
        percent = percent_;
    }
    if (event.kind == pda::PdaProgressEvent::Kind::Finished)
        board_.Finish(line_, pda::VerdictName(event.verdict) +
                                 (event.reason.empty() ? "" : ": " + event.reason));
    else
        board_.Update(line_, image, percent, state);
    if (output_.json)
        Json(event);
}

void CliPdaPresentation::Json(const pda::PdaProgressEvent& event) {
    QJsonObject line;
    line["device"] = QString::fromStdString(device_);
    line["state"] = pda::StateName(event.state);
    switch (event.kind) {
    case pda::PdaProgressEvent::Kind::StateEntered:
        line["event"] = "state";
        break;
    case pda::PdaProgressEvent::Kind::ImageStarted:
        line["event"] = "image";
        line["image"] = QString::fromStdString(event.image);
        line["number"] = event.imageNumber;
        break;
    case pda::PdaProgressEvent::Kind::Percent:
        line["event"] = "progress";
        line["image"] = QString::fromStdString(event.image);
        line["percent"] = event.percent;
        break;
    case pda::PdaProgressEvent::Kind::Finished:
        line["event"] = "finished";
        line["result"] = pda::VerdictName(event.verdict);
        line["reason"] = QString::fromStdString(event.reason);
        break;
    case pda::PdaProgressEvent::Kind::DeviceAnswered:
        return;
    }
    std::lock_guard lock(stdoutLock_);
    OutJsonLine(line);
}

void CliPdaPresentation::FlushTrace() {
    const std::string text = window_.TakeUnprinted();
    if (text.empty())
        return;
    std::lock_guard lock(stdoutLock_);
    Out(CrLfToLf(text));
    std::fflush(stdout);
}

void CliPdaPresentation::TraceWindow::ReplaceToEnd(std::size_t from, std::string_view text) {
    text_.resize(std::min(from, text_.size()));
    printed_ = std::min(printed_, text_.size());
    text_.append(text);
    if (owner_.output_.streamTrace)
        owner_.FlushTrace();
}

std::string CliPdaPresentation::TraceWindow::TakeUnprinted() {
    std::string unprinted = text_.substr(printed_);
    printed_ = text_.size();
    return unprinted;
}

} // namespace marlow::cli
