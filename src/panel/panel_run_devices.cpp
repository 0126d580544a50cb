// The panel's run and the bus: the program's device sources hand their
// news in, and each handset's run hears its boot loader's. And the
// handset's leaving during the phone part, which the bus cannot show: its
// modem's port goes.

#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"

#include <QTimer>

namespace marlow::panel {

// A boot loader that arrives while the phone part waits for its modem's
// port, or after that port has gone, is a handset replugged: the run's
// handset will not come back as a modem. While the modem's port stands, a
// second handset arrived and the run goes on. Each boot loader is opened
// by a run of its own, which waits for the next Down Start; the latest to
// arrive is the one it takes.
void PanelRun::DeviceArrived(std::unique_ptr<usb::UsbTransport> transport) {
    if (phonePart_ && (!portTaken_ || ModemPortGone()))
        EndPhonePartRemoved();
    std::string slot =
        transport->PortPath().empty() ? transport->DevicePath() : transport->PortPath();
    held_ = MakeHandset(transport->DevicePath(), std::move(slot),
                        {.openInBackground = true, .awaitGo = true});
    held_->run->Start(std::move(transport));
}

// The run whose boot loader left hears it; a run that has ended already
// leaves the panel to say what the leaving means.
void PanelRun::DeviceRemoved(const std::string& devicePath) {
    if (held_ && held_->devicePath == devicePath) {
        context_.deviceConnected = false;
        held_->onBus = false;
        if (held_->connected)
            held_->run->Removed(devicePath); // its end tells the panel
        else
            held_.reset(); // it never opened: nothing was shown
        return;
    }
    if (!live_ || live_->devicePath != devicePath || !live_->onBus)
        return;
    live_->onBus = false;
    context_.deviceConnected = false;
    if (live_->run->Finished())
        HandsetLeft(*live_);
    else
        live_->run->Removed(devicePath);
}

void PanelRun::Log(std::string_view text) {
    panel_.View().Log(text);
}

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
    if (watchingPort_ && portTaken_ && phonePart_ && ModemPortGone())
        EndPhonePartRemoved();
}

bool PanelRun::ModemPortGone() {
    return !setup_.ports->PortPresent(PhoneEngine().Port());
}

// The run's end shows it (OnRunFinished).
void PanelRun::EndPhonePartRemoved() {
    Log("The handset left during its phone part");
    if (live_ && !live_->run->Finished())
        live_->run->Abandon(
            {Verdict::DeviceRemoved, "the handset was removed during its phone download"});
}

} // namespace marlow::panel
