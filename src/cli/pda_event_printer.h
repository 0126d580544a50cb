#pragma once
// What `marlow-cli pda` shows of each handset's download events: its line
// on the progress board (stderr), the Device State Window's text on stdout
// (--trace) and JSON event lines on stdout (--json). Each handset gets its
// own receiver; they share the board and the stdout lock, since several
// download at once.

#include "app/trace_printer.h"
#include "cli/progress_renderer.h"
#include "pda/pda_events.h"
#include "skins/main_window_skin.h"

#include <QJsonObject>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::cli {

struct PdaCliOutput {
    bool trace = false;
    bool json = false;
    // With one handset the trace streams as it is written; with several it
    // is printed per handset when its run is over, so texts never mix.
    bool streamTrace = true;
};

// `pda --json`'s line for one handset's event: the event's fields and the
// handset's bus path. None for a reply byte that only shows the device is
// alive.
std::optional<QJsonObject> PdaEventJson(const pda::PdaEvent& event, const std::string& device);
// The download commands' own lines beside the runs' events: a handset left
// alone, a device the bus refused.
QJsonObject NotServedJson(const std::string& device, const std::string& reason);
QJsonObject ProblemJson(const std::string& text);

// One handset's receiver: the board line from the run's states, images and
// percentages; the main-window skin's Device State text as the trace; the
// events as JSON lines.
class CliPdaEvents : public pda::PdaEventSink {
public:
    // `onEvent` sees every event first, on the thread that raised it.
    CliPdaEvents(std::string device, PdaCliOutput output, ProgressBoard& board,
                 std::mutex& stdoutLock, std::function<void(const pda::PdaEvent&)> onEvent);

    void Post(const pda::PdaEvent& event) override;

    // The buffered trace, for printing once the run is over.
    void FlushTrace();

private:
    // The main window as text: the Device State Window's trace (streamed
    // past the part already printed), message boxes as board notes.
    class TextView : public app::MainWindowView, public app::TextTarget {
    public:
        explicit TextView(CliPdaEvents& owner) : owner_(owner) {}
        void Trace(app::MessageWindowId window, std::string_view text) override;
        void ClearTrace(app::MessageWindowId window) override;
        void StatusBar(std::string_view) override {}
        void CreateProgress(int, int) override {}
        void SetProgress(int) override {}
        void CloseProgress() override {}
        void ShowWaitBox() override {}
        void CloseWaitBox() override {}
        void MessageBox(std::string_view text, std::string_view caption) override;

        std::size_t TextLength() const override { return text_.size(); }
        void ReplaceToEnd(std::size_t from, std::string_view text) override;
        void ActivateAfterWrite() override {}
        std::string TakeUnprinted();

    private:
        CliPdaEvents& owner_;
        app::TracePrinter printer_;
        std::string text_;
        std::size_t printed_ = 0;
    };

    void ShowOnBoard(const pda::PdaEvent& event);
    void Json(const pda::PdaEvent& event);

    std::string device_;
    PdaCliOutput output_;
    ProgressBoard& board_;
    std::mutex& stdoutLock_;
    std::function<void(const pda::PdaEvent&)> onEvent_;
    int line_;
    TextView view_{*this};
    app::MainWindowSkin skin_{view_};
    std::string image_;
    std::string state_;
    int percent_ = 0;
};

} // namespace marlow::cli
