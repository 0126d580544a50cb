// The panel's run as the device watcher's owner: the program's device
// sources hand their news in, the watcher's decisions come out here.

#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"

#include <QTimer>

namespace marlow::panel {

void PanelRun::DeviceArrived(std::unique_ptr<usb::UsbTransport> transport) {
    watcher_->OnDeviceArrival(std::move(transport));
}

void PanelRun::DeviceRemoved(const std::string& devicePath) {
    watcher_->OnDeviceQueryRemove(devicePath);
    watcher_->OnDeviceRemoveComplete(devicePath);
}

void PanelRun::MessageBox(std::string_view text) {
    panel_.View().MessageBox(text, "");
}

void PanelRun::Log(std::string_view text) {
    panel_.View().Log(text);
}

// Answered at once; the download starts after the connected display, as a
// sent message's receiver replies before it acts.
void PanelRun::PanelDeviceArrived() {
    QTimer::singleShot(0, this, [this] { OnDeviceArrivedMessage(); });
}

// Posted, as WM_PDA_DOWNLOAD_DONE is: the removal finishes first.
void PanelRun::PdaDownloadDone(bool) {
    QTimer::singleShot(0, this, [this] { OnComplete(); });
}

void PanelRun::PanelDisconnectedDisplay() {
    panel_.ShowDisconnected();
}

void PanelRun::PanelAbortedDisplay() {
    panel_.ShowAborted();
}

void PanelRun::EndFrontPanel() {
    panel_.EndPanel();
}

void PanelRun::CancelInterfaceNotification() {
    if (setup_.stopWatch)
        setup_.stopWatch();
}

} // namespace marlow::panel
