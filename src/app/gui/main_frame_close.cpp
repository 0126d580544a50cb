#include "app/gui/frame_devices.h"
#include "app/gui/frame_phone.h"
#include "app/gui/main_frame.h"

#include <QCloseEvent>

namespace marlow::gui {

void CMainFrame::StartDeviceWatch() {
    devices_->StartWatch();
}

// WM_CLOSE and the exit command: without a device the frame closes at once;
// with one, the device is told to leave and the frame closes when it has
// gone (MAINFRM_CLOSE).
void CMainFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        QMainWindow::closeEvent(event);
        return;
    }
    if (!devices_->CloseRequested()) {
        event->ignore();
        return;
    }
    closing_ = true;
    ReleaseForClose();
    QMainWindow::closeEvent(event);
}

void CMainFrame::UnloadUsbDrv(bool close, bool unload) {
    devices_->UnloadUsbDrv(close, unload);
}

// MAINFRM_CLOSE: the released devices have gone.
void CMainFrame::StopThreadsAndClose() {
    closing_ = true;
    ReleaseForClose();
    close();
}

void CMainFrame::ReleaseForClose() {
    context_.debugPort.CloseDebugPort();
    devices_->StopWatch();
}

// WM_PDA_DOWNLOAD_DONE. In the main window it only counts while the operator
// is looking at it: a download finishing behind another program neither
// starts the phone nor raises a box. A run that handed the handset over to
// its modem (the "Phone" option, or a list's phone group) goes on with the
// phone download: the handset is only half done.
void CMainFrame::OnPdaDownloadDone(bool mainWindow, bool frontPanel) {
    if (!mainWindow) {
        (void)frontPanel; // the front panel's own completion
        return;
    }
    if (!IsForeground())
        return;
    const bool handedOver = context_.phoneHandOver.exchange(false);
    if (context_.PhoneOption() || handedOver) {
        context_.Print(context_.debugMessage, "\n PDA Download Completed!! \n");
        context_.Print(context_.debugMessage, "\n -- Phone Download Start!! -- \n");
        phone_->StartAfterPdaDownload();
        UpdateCommandStates();
        return;
    }
    ShowMessage(QStringLiteral("Completed Downloaded!"), QStringLiteral("Success"));
}

} // namespace marlow::gui
