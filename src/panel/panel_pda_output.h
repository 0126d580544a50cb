#pragma once
// The PDA download's words as the front panel shows them: each panel-mode
// call goes to its control through FrontPanelView, posted to the
// user-interface thread in call order (the download runs on its own
// thread). The main window's calls have no control here. The run's verdict
// goes to the panel's run, which decides what follows.

#include "panel/front_panel_view.h"
#include "pda/pda_presentation.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace marlow::panel {

class PanelPdaOutput : public pda::PdaPresentation {
public:
    using Finished = std::function<void(const pda::PdaProgressEvent&)>;

    // `receiver` lives on the user-interface thread, no longer than `view`
    // and this output; posts that find it gone are dropped.
    PanelPdaOutput(QObject& receiver, FrontPanelView& view, Finished finished);

    void DeviceStateTrace(std::string_view) override {}
    void ClearDeviceState() override {}
    void DebugMessage(std::string_view) override {}
    void StatusBar(std::string_view) override {}
    void CreateDownloadProgress(int, int) override {}
    void SetDownloadProgress(int) override {}
    void CloseDownloadProgress() override {}
    void ShowWaitDialog() override {}
    void CloseWaitDialog() override {}

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

private:
    void Post(std::function<void(FrontPanelView&)> work);

    QPointer<QObject> receiver_;
    FrontPanelView& view_;
    Finished finished_;
};

} // namespace marlow::panel
