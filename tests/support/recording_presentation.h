#pragma once
// A presentation that writes down every call, in order, as one line each:
// "trace|<text>", "debug|<text>", "status|<text>", "bar|create 0-100",
// "bar|5", "bar|close", "wait|show", "wait|close", "1032|<text>", "1037|",
// "1039|", "1069|", "1000|range 0-100", "1000|<pos>", "1029|enable",
// "1028|enable", "1136|<text>", "box|<text>|<caption>", "clear". Typed
// progress goes to a list of its own. Safe to call from the download thread.

#include "pda/pda_presentation.h"

#include <mutex>
#include <string>
#include <vector>

namespace marlow::test {

class RecordingPresentation : public pda::PdaPresentation {
public:
    void DeviceStateTrace(std::string_view text) override { Add("trace", text); }
    void ClearDeviceState() override { Add("clear"); }
    void DebugMessage(std::string_view text) override { Add("debug", text); }
    void StatusBar(std::string_view text) override { Add("status", text); }
    void CreateDownloadProgress(int low, int high) override {
        Add("bar", "create " + Range(low, high));
    }
    void SetDownloadProgress(int position) override { Add("bar", std::to_string(position)); }
    void CloseDownloadProgress() override { Add("bar|close"); }
    void ShowWaitDialog() override { Add("wait|show"); }
    void CloseWaitDialog() override { Add("wait|close"); }
    void PanelStatus(std::string_view text) override { Add("1032", text); }
    void PanelFileName(std::string_view text) override { Add("1037", text); }
    void PanelPercent(std::string_view text) override { Add("1039", text); }
    void PanelCounter(std::string_view text) override { Add("1069", text); }
    void PanelProgressRange(int low, int high) override {
        Add("1000", "range " + Range(low, high));
    }
    void PanelProgress(int position) override { Add("1000", std::to_string(position)); }
    void PanelEnableClose() override { Add("1029|enable"); }
    void PanelEnableDownStart() override { Add("1028|enable"); }
    void PanelEventList(std::string_view text) override { Add("1136", text); }
    void MessageBox(std::string_view text, std::string_view caption) override {
        Add("box", std::string(text) + "|" + std::string(caption));
    }
    void Progress(const pda::PdaProgressEvent& event) override;

    std::vector<std::string> Calls() const;
    // Only the calls that start with `prefix` ("trace|", "status|"...).
    std::vector<std::string> Calls(const std::string& prefix) const;
    // The Device State Window's text: the traces since the last clear.
    std::string DeviceStateText() const;
    std::vector<pda::PdaProgressEvent> Events() const;
    void Reset();

private:
    void Add(std::string call);
    void Add(std::string_view target, std::string_view text) {
        Add(std::string(target) + "|" + std::string(text));
    }
    static std::string Range(int low, int high) {
        return std::to_string(low) + "-" + std::to_string(high);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<pda::PdaProgressEvent> events_;
};

} // namespace marlow::test
