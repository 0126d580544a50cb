#pragma once
// Records what a run's skins (main window or front panel) ask of their view,
// one line per call, for PDA and phone runs alike: "trace|<text>",
// "debug|<text>", "clear", "status|<text>", "bar|create 0-100", "bar|5",
// "bar|close", "wait|show", "wait|close" (main window); "1032|<text>",
// "1037|", "1039|", "1069|", "1000|range 0-100", "1000|<pos>",
// "1029|enable", "1028|enable", "1136|<text>", "1136|clear",
// "two|<first>|<second>[|red]" (front panel); "box|<text>|<caption>" (both).
// Safe to call from a download thread.

#include "skins/front_panel_skin.h"
#include "skins/main_window_skin.h"

#include <mutex>
#include <string>
#include <vector>

namespace marlow::test {

class RecordingSkin : public app::MainWindowView, public panel::FrontPanelView {
public:
    std::vector<std::string> Calls() const;
    // Only the calls that start with `prefix` ("trace|", "status|"...).
    std::vector<std::string> Calls(const std::string& prefix) const;
    // The texts shown on one target ("trace", "1032", ...), in order.
    std::vector<std::string> On(const std::string& target) const;
    int Count(const std::string& call) const;
    // The Device State Window's text: the traces since the last clear.
    std::string DeviceStateText() const;
    void ClearCalls();

protected:
    void Add(std::string call);

private:
    void Say(std::string_view target, std::string_view text) {
        Add(std::string(target) + "|" + std::string(text));
    }
    void Trace(app::MessageWindowId window, std::string_view text) override {
        Say(window == app::MessageWindowId::DeviceState ? "trace" : "debug", text);
    }
    void ClearTrace(app::MessageWindowId) override { Add("clear"); }
    void StatusBar(std::string_view text) override { Say("status", text); }
    void CreateProgress(int low, int high) override { Say("bar", Range("create ", low, high)); }
    void SetProgress(int position) override { Say("bar", std::to_string(position)); }
    void CloseProgress() override { Add("bar|close"); }
    void ShowWaitBox() override { Add("wait|show"); }
    void CloseWaitBox() override { Add("wait|close"); }
    void Status(std::string_view text) override { Say("1032", text); }
    void CurrentFile(std::string_view text) override { Say("1037", text); }
    void Percent(std::string_view text) override { Say("1039", text); }
    void Counter(std::string_view text) override { Say("1069", text); }
    void ProgressRange(int low, int high) override { Say("1000", Range("range ", low, high)); }
    void Progress(int position) override { Say("1000", std::to_string(position)); }
    void EnableStop() override { Add("1029|enable"); }
    void EnableDownStart() override { Add("1028|enable"); }
    void Log(std::string_view text) override { Say("1136", text); }
    void ClearLog() override { Add("1136|clear"); }
    void MessageBox(std::string_view text, std::string_view caption) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    static std::string Range(const char* what, int low, int high) {
        return what + std::to_string(low) + "-" + std::to_string(high);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

} // namespace marlow::test
