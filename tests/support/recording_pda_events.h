#pragma once
// Records a PDA download's events, and what the skin of the run's
// presentation (the context's front-panel mode, read at each event) makes
// of them, one line per view call: "trace|<text>", "debug|<text>",
// "status|<text>", "bar|create 0-100", "bar|5", "bar|close", "wait|show",
// "wait|close", "clear" (main window); "1032|<text>", "1037|", "1039|",
// "1069|", "1000|range 0-100", "1000|<pos>", "1029|enable", "1028|enable",
// "1136|<text>" (front panel); "box|<text>|<caption>" (both). Safe to call
// from the download thread.

#include "app/main_window_skin.h"
#include "panel/front_panel_skin.h"
#include "pda/pda_run_context.h"

#include <mutex>
#include <string>
#include <vector>

namespace marlow::test {

class RecordingPdaEvents : public pda::PdaEventSink, app::MainWindowView, panel::FrontPanelView {
public:
    explicit RecordingPdaEvents(const pda::PdaRunContext& context) : context_(context) {}

    void Post(const pda::PdaEvent& event) override;

    std::vector<std::string> Calls() const;
    // Only the calls that start with `prefix` ("trace|", "status|"...).
    std::vector<std::string> Calls(const std::string& prefix) const;
    // The Device State Window's text: the traces since the last clear.
    std::string DeviceStateText() const;
    std::vector<pda::PdaEvent> Events() const;
    // The run's last word.
    RunFinished Finished() const;
    void Reset();

private:
    void Trace(app::MessageWindowId window, std::string_view text) override;
    void ClearTrace(app::MessageWindowId window) override;
    void StatusBar(std::string_view text) override;
    void CreateProgress(int low, int high) override;
    void SetProgress(int position) override;
    void CloseProgress() override;
    void ShowWaitBox() override;
    void CloseWaitBox() override;
    void Status(std::string_view text) override;
    void Percent(std::string_view text) override;
    void CurrentFile(std::string_view text) override;
    void Counter(std::string_view text) override;
    void ProgressRange(int low, int high) override;
    void Progress(int position) override;
    void EnableStop() override;
    void EnableDownStart() override;
    void Log(std::string_view text) override;
    void ClearLog() override;
    void MessageBox(std::string_view text, std::string_view caption) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;

    void Add(std::string call);

    const pda::PdaRunContext& context_;
    app::MainWindowSkin mainWindow_{*this};
    panel::FrontPanelSkin frontPanel_{*this};
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<pda::PdaEvent> events_;
};

} // namespace marlow::test
