#pragma once
// What `marlow-cli pda` shows: one progress line per handset on stderr, the
// Device State Window's text on stdout (--trace) and JSON event lines on
// stdout (--json). Each handset gets its own presentation; they share the
// board and the stdout lock, since several download at once.

#include "app/trace_printer.h"
#include "pda/pda_presentation.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace marlow::cli {

// Progress lines on stderr: redrawn in place on a terminal, otherwise one
// line per handset at each tenth of the way and at the end.
class PdaProgressBoard {
public:
    explicit PdaProgressBoard(bool terminal) : terminal_(terminal) {}
    // Leaves the cursor below the lines.
    void Close();

    int AddLine(const std::string& device);
    void Update(int line, const std::string& image, int percent, const std::string& state);
    void Finish(int line, const std::string& result);
    // Diagnostics and message-box texts, printed above the progress lines.
    void Note(const std::string& text);

private:
    struct Line {
        std::string device;
        std::string image;
        int percent = 0;
        std::string state;
        int lastPrintedTenth = -1;
    };
    std::string Render(const Line& line) const;
    void Redraw();
    std::string UpToFirstLine() const;

    bool terminal_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    std::size_t drawnLines_ = 0;
};

struct PdaCliOutput {
    bool trace = false;
    bool json = false;
    // With one handset the trace streams as it is written; with several it
    // is printed per handset when its run is over, so texts never mix.
    bool streamTrace = true;
};

class CliPdaPresentation : public pda::PdaPresentation {
public:
    // `onEvent` sees every typed event first, on the thread that raised it.
    CliPdaPresentation(std::string device, PdaCliOutput output, PdaProgressBoard& board,
                       std::mutex& stdoutLock,
                       std::function<void(const pda::PdaProgressEvent&)> onEvent);

    void DeviceStateTrace(std::string_view text) override;
    void ClearDeviceState() override;
    void DebugMessage(std::string_view) override {}
    void StatusBar(std::string_view text) override;
    void CreateDownloadProgress(int, int) override {}
    void SetDownloadProgress(int) override {}
    void CloseDownloadProgress() override {}
    void ShowWaitDialog() override {}
    void CloseWaitDialog() override {}
    void PanelStatus(std::string_view) override {}
    void PanelFileName(std::string_view) override {}
    void PanelPercent(std::string_view) override {}
    void PanelCounter(std::string_view) override {}
    void PanelProgressRange(int, int) override {}
    void PanelProgress(int) override {}
    void PanelEnableClose() override {}
    void PanelEnableDownStart() override {}
    void PanelEventList(std::string_view) override {}
    void MessageBox(std::string_view text, std::string_view caption) override;
    void Progress(const pda::PdaProgressEvent& event) override;

    // The buffered trace, for printing once the run is over.
    void FlushTrace();
    std::string LastStatus() const;

private:
    // The Device State Window as text; streams what is added past the part
    // already printed.
    class TraceWindow : public app::TextTarget {
    public:
        explicit TraceWindow(CliPdaPresentation& owner) : owner_(owner) {}
        std::size_t TextLength() const override { return text_.size(); }
        void ReplaceToEnd(std::size_t from, std::string_view text) override;
        void ActivateAfterWrite() override {}
        std::string TakeUnprinted();
        void MarkCleared() { printed_ = 0; }

    private:
        CliPdaPresentation& owner_;
        std::string text_;
        std::size_t printed_ = 0;
    };

    void Json(const pda::PdaProgressEvent& event);

    std::string device_;
    PdaCliOutput output_;
    PdaProgressBoard& board_;
    std::mutex& stdoutLock_;
    std::function<void(const pda::PdaProgressEvent&)> onEvent_;
    int line_;
    app::TracePrinter printer_;
    TraceWindow window_{*this};
    mutable std::mutex stateMutex_;
    std::string image_;
    std::string state_;
    std::string status_;
    int percent_ = 0;
};

} // namespace marlow::cli
