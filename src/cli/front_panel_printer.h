#pragma once
// The front panel as `marlow-cli total` shows it: one display for both
// halves of a Total run. The PDA download's events (from its thread) and the
// phone engine's (on the command's thread) go through the front-panel skin
// into the panel's controls here: the log list goes to stdout (--trace), one
// progress line, message boxes and diagnostics to stderr. With --json,
// stdout carries the run's events instead, each as `pda --json` and
// `phone --json` write it, and the command's own lines.

#include "cli/phone_run_printer.h"
#include "phone/phone_events.h"
#include "skins/front_panel_skin.h"

#include <QJsonObject>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::cli {

class TotalDisplay : public panel::FrontPanelView,
                     public pda::PdaEventSink,
                     public phone::PhoneEventSink {
public:
    struct Hooks {
        std::function<void(const RunFinished&)> pdaFinished; // any thread
        // Every event of either half, with the step it shows ("phone: Booting...").
        std::function<void(const std::string& step)> progressed; // any thread
    };
    TotalDisplay(PhoneCliOutput output, Hooks hooks);

    // The progress line names the half it shows; the PDA's image counter
    // means nothing to the phone half.
    void BeginPhoneHalf();

    // The handset the PDA half serves, named in its events.
    void Serve(const std::string& device);

    void Note(const std::string& text);
    // A handset beyond the one a Total run serves: stderr, and a
    // "not-served" line with --json.
    void NotServed(const std::string& device);
    // A device source's report: a device refused or cut off, a listener
    // short of descriptors. stderr, and a "problem" line with --json.
    void Problem(const std::string& text);
    // The run's end, after everything has stopped: with --json, a phone
    // half still without its run-finished gets the command's, then the whole
    // run's verdict line.
    void Close(Verdict verdict, const std::string& reason);

    // The PDA download's events, shown through the front-panel skin.
    void Post(const pda::PdaEvent& event) override;
    // The phone engine's events (front-panel owner), the same way.
    void Post(const phone::PhoneRunEvent& event) override;

    // The panel's controls.
    void Status(std::string_view text) override;
    void CurrentFile(std::string_view text) override;
    void Percent(std::string_view text) override;
    void Counter(std::string_view text) override;
    void ProgressRange(int, int) override {}
    void Progress(int position) override;
    void EnableStop() override {}
    void EnableDownStart() override {}
    void Log(std::string_view text) override;
    void ClearLog() override;
    void MessageBox(std::string_view text, std::string_view caption) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;

    std::optional<phone::PhoneRunEnd> PhoneEnded() const;
    // The phone half's RunFinished reason (empty while it has none).
    std::string PhoneReason() const;

private:
    // The mutex is held.
    void Progressed();
    void Redraw();
    void Json(const QJsonObject& line);

    PhoneCliOutput output_;
    Hooks hooks_;
    mutable std::mutex mutex_;
    ProgressBoard board_{ProgressBoard::StderrIsTerminal()};
    int line_ = board_.AddLine("total", ProgressBoard::PlainLine::Step);
    std::string device_;
    std::string half_ = "PDA";
    std::string status_;
    std::string file_;
    std::string counter_;
    int position_ = 0;
    bool phoneHalf_ = false;
    bool phoneFinished_ = false;
    std::optional<phone::PhoneRunEnd> phoneEnded_;
    std::string phoneReason_;
    phone::PhoneRunEnds phoneEnds_;
    panel::FrontPanelSkin skin_{*this};
};

} // namespace marlow::cli
