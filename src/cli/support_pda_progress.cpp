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

CliPdaEvents::CliPdaEvents(std::string device, PdaCliOutput output, PdaProgressBoard& board,
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
    QJsonObject line = JsonOf(pda::RecordOf(event));
    line["device"] = QString::fromStdString(device_);
    std::lock_guard lock(stdoutLock_);
    OutJsonLine(line);
}

void CliPdaEvents::FlushTrace() {
    const std::string text = view_.TakeUnprinted();
    if (text.empty())
        return;
    std::lock_guard lock(stdoutLock_);
    Out(CrLfToLf(text));
    std::fflush(stdout);
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
