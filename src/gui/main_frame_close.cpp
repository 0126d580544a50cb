#include "gui/frame_devices.h"
#include "gui/frame_phone.h"
#include "gui/main_frame.h"
#include "gui/window_records.h"

#include <QApplication>
#include <QCloseEvent>
#include <QStatusBar>
#include <utility>

namespace marlow::gui {

void CMainFrame::StartDeviceWatch() {
    devices_->StartWatch();
}

namespace {
constexpr const char* kClosingText = "Closing: waiting for the handset to leave USB...";
} // namespace

// WM_CLOSE and the exit command: without a device the frame closes at once;
// with one, the device is told to leave and the frame closes when it has
// gone (MAINFRM_CLOSE). A handset writing its flash hears the request only
// when the write is done, seconds later; the frame says at once that it is
// closing, and a second request changes nothing.
void CMainFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        QMainWindow::closeEvent(event);
        return;
    }
    if (releasing_) {
        event->ignore();
        return;
    }
    if (devices_->Watcher().DeviceCount() > 0)
        ShowReleaseUnderWay();
    if (!devices_->CloseRequested()) {
        event->ignore();
        return;
    }
    EndReleaseUnderWay();
    closing_ = true;
    records_->Stop();
    ReleaseForClose();
    QMainWindow::closeEvent(event);
}

// The commands go grey and the pointer busy: nothing the operator does now
// changes the close, which ends by itself.
void CMainFrame::ShowReleaseUnderWay() {
    releasing_ = true;
    statusBar()->showMessage(QString::fromLatin1(kClosingText));
    UpdateCommandStates();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    // Painted now: releasing the devices keeps this thread busy for a while.
    statusBar()->repaint();
}

void CMainFrame::EndReleaseUnderWay() {
    if (!std::exchange(releasing_, false))
        return;
    QApplication::restoreOverrideCursor();
}

void CMainFrame::UnloadUsbDrv(bool close, bool unload) {
    devices_->UnloadUsbDrv(close, unload);
}

// MAINFRM_CLOSE: the released devices have gone.
void CMainFrame::StopThreadsAndClose() {
    EndReleaseUnderWay();
    closing_ = true;
    records_->Stop();
    ReleaseForClose();
    close();
}

void CMainFrame::ReleaseForClose() {
    context_.debugPort.CloseDebugPort();
    devices_->StopWatch();
}

// WM_PDA_DOWNLOAD_DONE. A run that handed the handset over to its modem (the
// "Phone" option, or a list's phone group) goes on with the phone download
// wherever the operator is looking: the handset is only half done, and left
// so it would sit in its modem's download mode with no verdict. Whether it
// did is that handset's run's to say: one that was not handed over has
// booted its new image, whatever the "Phone" option says by now. The box
// that says a PDA-only download is done shows only over the main window.
void CMainFrame::OnPdaDownloadDone(bool mainWindow, bool frontPanel, const QString& devicePath) {
    if (!mainWindow) {
        (void)frontPanel; // the front panel's own completion
        return;
    }
    if (devices_->HandsetLeft(devicePath.toStdString()) && IsForeground())
        ShowMessage(QStringLiteral("Completed Downloaded!"), QStringLiteral("Success"));
}

} // namespace marlow::gui
