#pragma once
// What `marlow-cli phone` shows of a main-window phone run: the Device State
// Window's text on stdout (--trace) or one JSON object per event (--json);
// a progress line, message-box texts and diagnostics on stderr.

#include "app/trace_printer.h"
#include "phone/phone_presentation.h"

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

// One line on stderr, redrawn in place on a terminal; elsewhere a line at
// each tenth of the way, so logs stay short.
class ProgressLine {
public:
    explicit ProgressLine(std::string prefix);
    void Show(const std::string& part, int percent);
    void Note(const std::string& text); // printed above the line
    void Close();

private:
    std::string prefix_;
    bool terminal_;
    bool drawn_ = false;
    std::string lastPart_;
    int lastTenth_ = -1;
};

class CliPhonePresentation : public phone::PhonePresentation {
public:
    // `currentPart` names the part the engine is in, for the progress line;
    // `progressed` hears of every event (for the --timeout watchdog).
    CliPhonePresentation(PhoneCliOutput output, std::function<std::string()> currentPart,
                         std::function<void()> progressed = {});

    void Show(phone::PhoneTarget target, std::string_view text) override;
    void Clear(phone::PhoneTarget target) override;
    void Progress(phone::PhoneProgress progress) override;
    void MessageBox(std::string_view text, std::string_view title) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    void RunEnded(phone::PhoneRunEnd end) override;

    std::optional<phone::PhoneRunEnd> Ended() const { return ended_; }
    // A run the command ended itself (a stop signal, --timeout): the JSON
    // "end" event and the reason on stderr.
    void EndedByCommand(const char* result, const std::string& reason);
    void Diagnostic(const std::string& text) { progress_.Note(text); }
    void Close() { progress_.Close(); }

private:
    void Progressed();

    PhoneCliOutput output_;
    std::function<std::string()> currentPart_;
    std::function<void()> progressed_;
    app::TracePrinter printer_;
    StreamedTraceWindow deviceState_;
    ProgressLine progress_{"phone"};
    std::optional<phone::PhoneRunEnd> ended_;
};

const char* PhoneTargetName(phone::PhoneTarget target);
const char* PhoneRunEndName(phone::PhoneRunEnd end);
// "Booting", "PSI loader", ... for a progress line.
std::string PhonePartName(int state);

} // namespace marlow::cli
