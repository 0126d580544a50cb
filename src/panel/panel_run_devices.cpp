// The panel's run as the device watcher's owner: the program's device
// sources hand their news in, the watcher's decisions come out here. And
// the handset's leaving during the phone part, which the watcher cannot see:
// its modem's port goes.

#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"

#include <QTimer>

namespace marlow::panel {

// A boot loader that arrives while the phone part waits for its modem's
// port, or after that port has gone, is a handset replugged: the run's
// handset will not come back as a modem. While the modem's port stands, a
// second handset arrived and the run goes on.
void PanelRun::DeviceArrived(std::unique_ptr<usb::UsbTransport> transport) {
    if (PhoneRunSelected() && (!portTaken_ || ModemPortGone()))
        EndPhonePartRemoved();
    arrivedSlot_ = transport->PortPath().empty() ? transport->DevicePath() : transport->PortPath();
    watcher_->OnDeviceArrival(std::move(transport));
}

void PanelRun::DeviceRemoved(const std::string& devicePath) {
    watcher_->OnDeviceQueryRemove(devicePath);
    watcher_->OnDeviceRemoveComplete(devicePath);
    // A completion the removal posted says them after its own words.
    if (!heldRecords_.empty() && !completionPending_)
        QTimer::singleShot(0, this, [this] { ShowHeldRecords(); });
}

// A device's open, from its own thread: the panel takes the result after
// the device news posted before it.
void PanelRun::PostToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
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

// The hand-over is taken on this thread, so the phone files and the phone
// half's selection change together, before the completion below.
void PanelRun::PdaRunEnded(const std::string&, const pda::PdaRunOutcome& outcome) {
    QMetaObject::invokeMethod(
        this, [this, outcome] { OnPdaHalfEnded(outcome); }, Qt::QueuedConnection);
}

// Posted, as WM_PDA_DOWNLOAD_DONE is: the removal finishes first.
void PanelRun::PdaDownloadDone(bool) {
    completionPending_ = true;
    QTimer::singleShot(0, this, [this] {
        OnComplete();
        completionPending_ = false;
        ShowHeldRecords();
    });
}

// The handset of a PDA run left before it was done: that run is over. A
// boot loader that leaves during a phone part is not that part's handset.
void PanelRun::PanelDisconnectedDisplay() {
    if (PhoneRunSelected()) {
        Log("Device Disconnected!");
        return;
    }
    panel_.ShowDisconnected();
    AllDone();
}

void PanelRun::PanelAbortedDisplay() {
    stopping_ = false;
    panel_.ShowAborted();
}

void PanelRun::EndFrontPanel() {
    stopping_ = false;
    panel_.EndPanel();
}

void PanelRun::CancelInterfaceNotification() {
    if (setup_.stopWatch)
        setup_.stopWatch();
}

} // namespace marlow::panel

namespace marlow::panel {

// --- the modem's port during the phone part

// Told on the watch's thread; looked at on this one. A locator that cannot
// watch leaves the leaving to be seen when a boot loader arrives.
void PanelRun::WatchModemPort() {
    watchingPort_ = setup_.ports->WatchPorts([this] {
        QMetaObject::invokeMethod(
            this, [this] { OnModemPortsChanged(); }, Qt::QueuedConnection);
    });
}

void PanelRun::StopWatchingModemPort() {
    if (std::exchange(watchingPort_, false))
        setup_.ports->StopWatchingPorts();
}

void PanelRun::OnModemPortsChanged() {
    if (watchingPort_ && portTaken_ && PhoneRunSelected() && ModemPortGone())
        EndPhonePartRemoved();
}

bool PanelRun::ModemPortGone() {
    return !setup_.ports->PortPresent(engine_->Port());
}

// The run's verdict shows it (OnPhoneEvent); a hand-over whose port wait
// has not begun yet has no run to end, so the panel ends it itself.
void PanelRun::EndPhonePartRemoved() {
    Log("The handset left during its phone part");
    engine_->StopPanelRun(Verdict::DeviceRemoved,
                          "the handset was removed during its phone download");
    if (PhoneRunSelected())
        ShowPhonePartRemoved();
}

void PanelRun::ShowPhonePartRemoved() {
    panel_.ShowDisconnected();
    AllDone();
    panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
}

} // namespace marlow::panel
