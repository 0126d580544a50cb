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
    void DeviceStateTrace(std::string_view text) override;
    void ClearDeviceState() override;
    void DebugMessage(std::string_view text) override;
    void StatusBar(std::string_view text) override;
    void CreateDownloadProgress(int low, int high) override;
    void SetDownloadProgress(int position) override;
    void CloseDownloadProgress() override;
    void ShowWaitDialog() override;
    void CloseWaitDialog() override;
    void PanelStatus(std::string_view text) override;
    void PanelFileName(std::string_view text) override;
    void PanelPercent(std::string_view text) override;
    void PanelCounter(std::string_view text) override;
    void PanelProgressRange(int low, int high) override;
    void PanelProgress(int position) override;
    void PanelEnableClose() override;
    void PanelEnableDownStart() override;
    void PanelEventList(std::string_view text) override;
    void MessageBox(std::string_view text, std::string_view caption) override;
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
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<pda::PdaProgressEvent> events_;
};

} // namespace marlow::test
