#pragma once
// The front panel as `marlow-cli total` shows it: one display for both
// halves of a Total run, fed the whole run's event stream on the command's
// thread. The halves' events go through the front-panel skin into the
// panel's controls here, and the run's own facts (the device watcher's
// steps, the hand-over's completion, the stop, the endings) are worded as
// the panel words them: the log list goes to stdout (--trace), one progress
// line, message boxes and diagnostics to stderr. With --json, stdout
// carries the run's events instead, each as `pda --json` and `phone --json`
// write it, and the command's own lines.

#include "cli/phone_run_printer.h"
#include "handset/whole_run.h"
#include "phone/phone_events.h"
#include "skins/front_panel_skin.h"

#include <QJsonObject>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::cli {

class TotalDisplay : public panel::FrontPanelView, public handset::HandsetEventSink {
public:
    // Every event of either half, with the step it shows ("phone: Booting...").
    using ProgressHook = std::function<void(const std::string& step)>;
    TotalDisplay(PhoneCliOutput output, ProgressHook progressed);

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
    // run's verdict line, with the half it came from.
    void Close(Verdict verdict, const std::string& reason, handset::Half half);

    void Post(const handset::HandsetEvent& event) override;

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

private:
    // The halves' events, shown through the front-panel skin.
    void Show(const pda::PdaEvent& event);
    void Show(const phone::PhoneRunEvent& event);
    void Show(hotplug::WatcherStep step);
    void Show(const handset::HandedOver&) {}
    // The hand-over's completion: the phone half begins.
    void Show(const handset::ModemPortWait&);
    void Show(const handset::Abandoning& abandoning);
    void Show(const handset::RunFinished& finished);
    // The progress line names the half it shows; the PDA's image counter
    // means nothing to the phone half.
    void BeginPhoneHalf();
    // The mutex is held.
    void Progressed();
    void Redraw();
    void Json(const QJsonObject& line);

    PhoneCliOutput output_;
    ProgressHook progressed_;
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
    panel::FrontPanelSkin skin_{*this};
};

} // namespace marlow::cli
