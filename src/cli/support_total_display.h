#pragma once
// The front panel as `marlow-cli total` shows it: one display for both
// halves of a Total run. The PDA download (from its thread) and the phone
// engine write the panel's controls here; the log list goes to stdout
// (--trace), every event as JSON (--json), and one progress line, message
// boxes and diagnostics to stderr.

#include "cli/support_phone_output.h"
#include "pda/pda_presentation.h"
#include "phone/phone_presentation.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::cli {

class TotalDisplay : public pda::PdaPresentation, public phone::PhonePresentation {
public:
    struct Hooks {
        std::function<void(const pda::PdaProgressEvent&)> pdaFinished; // any thread
        // Every event of either half, with the step it shows ("phone: Booting...").
        std::function<void(const std::string& step)> progressed; // any thread
    };
    TotalDisplay(PhoneCliOutput output, Hooks hooks);

    // The progress line names the half it shows; the PDA's image counter
    // means nothing to the phone half.
    void BeginPhoneHalf();

    // The panel's own lines (OnComplete and friends).
    void Log(std::string_view text);
    void Note(const std::string& text);
    // A command's own event: a JSON line {"event": kind, "text": text,
    // "reason": reason} and the reason on stderr.
    void Report(const char* kind, std::string_view text, const std::string& reason);
    // A device source's report: a device refused or cut off, a listener
    // short of descriptors. stderr, and a "problem" event with --json.
    void Problem(const std::string& text);
    void Close();

    // PDA download, front-panel mode.
    void PanelStatus(std::string_view text) override;
    void PanelFileName(std::string_view text) override;
    void PanelPercent(std::string_view text) override;
    void PanelCounter(std::string_view text) override;
    void PanelProgressRange(int, int) override {}
    void PanelProgress(int position) override;
    void PanelEnableClose() override {}
    void PanelEnableDownStart() override {}
    void PanelEventList(std::string_view text) override { Log(text); }
    void MessageBox(std::string_view text, std::string_view caption) override;
    void Progress(const pda::PdaProgressEvent& event) override;
    // Main-window texts: a front-panel run writes none.
    void DeviceStateTrace(std::string_view) override {}
    void ClearDeviceState() override {}
    void DebugMessage(std::string_view) override {}
    void StatusBar(std::string_view) override {}
    void CreateDownloadProgress(int, int) override {}
    void SetDownloadProgress(int) override {}
    void CloseDownloadProgress() override {}
    void ShowWaitDialog() override {}
    void CloseWaitDialog() override {}

    // Phone engine, front-panel owner.
    void Show(phone::PhoneTarget target, std::string_view text) override;
    void Clear(phone::PhoneTarget target) override;
    void Progress(phone::PhoneProgress progress) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    void RunEnded(phone::PhoneRunEnd end) override;

    std::optional<phone::PhoneRunEnd> PhoneEnded() const;

private:
    // Each writes the event's JSON line and counts it as progress; the
    // mutex is held.
    void Event(const char* kind, std::string_view text);
    void Progressed();
    void Redraw();

    PhoneCliOutput output_;
    Hooks hooks_;
    mutable std::mutex mutex_;
    ProgressLine line_{"total"};
    std::string half_ = "PDA";
    std::string status_;
    std::string file_;
    std::string counter_;
    int position_ = 0;
    std::optional<phone::PhoneRunEnd> phoneEnded_;
};

} // namespace marlow::cli
