#pragma once
// What `marlow-cli phone` shows of a main-window phone run: the Device State
// Window's text on stdout (--trace) or one JSON object per event (--json);
// a progress line, message-box texts and diagnostics on stderr.

#include "app/trace_printer.h"
#include "cli/progress_renderer.h"
#include "phone/phone_events.h"
#include "skins/main_window_skin.h"

#include <QJsonObject>
#include <functional>
#include <optional>
#include <string>

namespace marlow::cli {

struct PhoneCliOutput {
    bool trace = false;
    bool json = false;
};

// The Device State Window as a stream: what the printer adds to the end is
// printed at once, line ends as the terminal wants them.
class StreamedTraceWindow : public app::TextTarget {
public:
    std::size_t TextLength() const override { return text_.size(); }
    void ReplaceToEnd(std::size_t from, std::string_view text) override;
    void ActivateAfterWrite() override {}

private:
    std::string text_;
    std::size_t printed_ = 0;
};

// A main-window phone run through the main-window skin: the Device State
// Window's text (--trace), the progress line and message boxes; with
// --json, each event as one JSON object instead of the text.
class CliPhoneEvents : public phone::PhoneEventSink, private app::MainWindowView {
public:
    // `currentPart` names the part the engine is in, for the progress line;
    // `progressed` hears of every event (for the --timeout watchdog).
    CliPhoneEvents(PhoneCliOutput output, std::function<std::string()> currentPart,
                   std::function<void()> progressed = {});

    void Post(const phone::PhoneRunEvent& event) override;

    std::optional<phone::PhoneRunEnd> Ended() const { return ended_; }
    // The reason the run's RunFinished gave (empty when it passed).
    const std::string& Reason() const { return reason_; }
    // A run the command ended itself (a stop signal, --timeout): the reason
    // on stderr (its run-finished came from the engine).
    void EndedByCommand(const std::string& reason);
    void Diagnostic(const std::string& text) { board_.Note(text); }
    void Close() { board_.Close(); }

private:
    void Trace(app::MessageWindowId window, std::string_view text) override;
    void ClearTrace(app::MessageWindowId window) override;
    void StatusBar(std::string_view) override {}
    void CreateProgress(int, int) override {}
    void SetProgress(int position) override;
    void CloseProgress() override {}
    void ShowWaitBox() override {}
    void CloseWaitBox() override {}
    void MessageBox(std::string_view text, std::string_view caption) override;

    PhoneCliOutput output_;
    std::function<std::string()> currentPart_;
    std::function<void()> progressed_;
    app::TracePrinter printer_;
    StreamedTraceWindow deviceState_;
    ProgressBoard board_{ProgressBoard::StderrIsTerminal()};
    int line_ = board_.AddLine("phone", ProgressBoard::PlainLine::Step);
    app::MainWindowSkin skin_{*this};
    phone::PhoneRunEnds ends_;
    std::optional<phone::PhoneRunEnd> ended_;
    std::string reason_;
};

// `phone --json`'s line for one event of the run.
QJsonObject PhoneEventJson(const phone::PhoneRunEvent& event);
// "Booting", "PSI loader", ... for a progress line.
std::string PhonePartName(int state);

} // namespace marlow::cli
