#pragma once
// The PDA download as the main window shows it: traces into the Device State
// and Debug Message windows, the status bar, the progress bar and the wait
// box. The download thread calls in; everything that touches a widget is
// posted to the user-interface thread in call order.

#include "app/gui/frame_surface.h"
#include "app/gui/marlow_context.h"
#include "pda/pda_presentation.h"

#include <QObject>
#include <QPointer>
#include <atomic>

namespace marlow::gui {

class WindowPdaPresentation : public pda::PdaPresentation {
public:
    // `receiver` lives on the user-interface thread and dies with `surface`.
    WindowPdaPresentation(MarlowContext& context, FrameSurface& surface, QObject& receiver);

    void DeviceStateTrace(std::string_view text) override;
    void ClearDeviceState() override;
    void DebugMessage(std::string_view text) override;
    void StatusBar(std::string_view text) override;
    void CreateDownloadProgress(int low, int high) override;
    void SetDownloadProgress(int position) override;
    void CloseDownloadProgress() override;
    void ShowWaitDialog() override;
    void CloseWaitDialog() override;

    // The front panel's controls do not exist in the main window.
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
    // Notes a hand-over to the modem for the completion to act on.
    void Progress(const pda::PdaProgressEvent& event) override;

private:
    template <typename Work> void Post(Work work);

    MarlowContext& context_;
    FrameSurface& surface_;
    QPointer<QObject> receiver_;
    // The box counts as up from the start, so the first flash confirmation
    // always closes it.
    std::atomic<bool> waitBoxActive_{true};
};

} // namespace marlow::gui
