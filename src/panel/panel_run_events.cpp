// The handset runs' events on the panel: what each means for the run on
// show, then the panel's controls (through the skins) and the record. The
// run decides what follows the PDA part; the panel says it in its words.

#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"
#include "records/run_inputs.h"

#include <QTimer>

namespace marlow::panel {

using handset::ONLY_PHONE_DOWN;

void PanelRun::Heard(Handset& handset, const handset::HandsetEvent& event) {
    if (const auto* step = std::get_if<hotplug::WatcherStep>(&event))
        return WordStep(*step);
    if (&handset != live_.get())
        return HeardHeld(handset, event);
    if (const auto* pda = std::get_if<pda::PdaEvent>(&event)) {
        if (OnPdaEvent(handset, *pda))
            pdaOutput_.Post(*pda);
    } else if (const auto* phone = std::get_if<phone::PhoneRunEvent>(&event)) {
        OnPhoneEvent(*phone);
        phoneOutput_.Post(*phone);
    } else if (std::holds_alternative<handset::HandedOver>(event)) {
        // What remains is the phone's part.
        handset_.g_AllDownLoad = true;
        handset_.m_DownSelect = ONLY_PHONE_DOWN;
        phonePart_ = true;
    } else if (std::holds_alternative<handset::ModemPortWait>(event)) {
        phonePart_ = true;
        if (!handset.devicePath.empty())
            BeginPhonePart();
    } else if (const auto* whole = std::get_if<handset::RunFinished>(&event)) {
        OnRunFinished(handset, *whole);
    }
}

// The device watchers' steps, of every handset, worded as the handset
// documentation words them; the panel's own requests (Stop, its close) it
// logs as it makes them.
void PanelRun::WordStep(hotplug::WatcherStep step) {
    switch (step) {
    case hotplug::WatcherStep::ServiceCancel:
    case hotplug::WatcherStep::ServiceExit:
        return;
    case hotplug::WatcherStep::NoDescription:
        return panel_.View().MessageBox(hotplug::WatcherStepText(step), "");
    default:
        return Log(hotplug::WatcherStepText(step));
    }
}

// A boot loader waiting for the next Down Start: shown connected while no
// run is on show (the connected display, then WM_PANEL_DEVICE_ARRIVED, as a
// sent message's receiver replies before it acts), gone when it leaves.
void PanelRun::HeardHeld(Handset& handset, const handset::HandsetEvent& event) {
    if (const auto* pda = std::get_if<pda::PdaEvent>(&event)) {
        const auto* connected = std::get_if<pda::DeviceConnected>(pda);
        if (connected == nullptr || &handset != held_.get())
            return;
        handset.connected = connected->opened;
        context_.deviceConnected = connected->opened;
        if (connected->opened && RunLive()) {
            // Not this run's handset: it waits for the next Down Start, and
            // the run's words stay.
            Log("Device Connected! (kept for the next run)");
        } else {
            pdaOutput_.Post(*pda);
        }
        if (connected->opened)
            QTimer::singleShot(0, this, [this] { OnDeviceArrivedMessage(); });
        return;
    }
    const auto* whole = std::get_if<handset::RunFinished>(&event);
    if (whole == nullptr || &handset != held_.get())
        return;
    const bool removed = whole->finished.verdict == Verdict::DeviceRemoved;
    held_.reset(); // from within its end's post, as the run allows
    if (!removed || exiting_)
        return;
    if (RunLive()) {
        Log("Device Disconnected!");
        return;
    }
    panel_.ShowDisconnected();
    AllDone();
}

bool PanelRun::OnPdaEvent(Handset& handset, const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::PhoneFileListed>(event)) {
        // The list names phone files: those the panel holds are no longer the
        // package's (the hand-over brings the list's).
        heldPackage_.reset();
    } else if (std::holds_alternative<pda::FlashWriteNear>(event)) {
        context_.flashWriting = true;
    } else if (std::holds_alternative<pda::FlashWriteEnded>(event)) {
        context_.flashWriting = false;
    } else if (const auto* finished = std::get_if<RunFinished>(&event)) {
        // A PDA run that failed keeps its words; the status line turns red.
        // Its end comes with the handset's removal. A stop's verdict is the
        // aborted display, once the handset has gone.
        handset.pdaEnded = finished->verdict;
        context_.flashWriting = false;
        if (!stopping_ && finished->verdict != Verdict::Passed)
            panel_.View().RunEnded(*finished);
    }
    recording_.Post(event);
    return true;
}

void PanelRun::OnPhoneEvent(const phone::PhoneRunEvent& event) {
    if (std::holds_alternative<phone::PortWaitEnded>(event)) {
        portTaken_ = true;
        WatchModemPort();
        recording_.ModemPort(PhoneEngine().Port());
    }
    recording_.Post(event);
    if (std::holds_alternative<RunFinished>(event)) {
        portTaken_ = false;
        StopWatchingModemPort();
    }
    if (const std::optional<phone::PhoneRunEnd> end = phoneEnds_.Follow(event))
        OnPhoneEnded(*end);
}

// The engine has shown its words; the panel ends the run around them. The
// refresh comes back with the run's end (OnRunFinished), so a later PDA run
// animates again.
void PanelRun::OnPhoneEnded(phone::PhoneRunEnd end) {
    phoneEnd_ = end;
    switch (end) {
    case phone::PhoneRunEnd::Succeeded:
        EndUsbWait();
        panel_.IdleLayout();
        panel_.SetCounter(QString());
        panel_.SetPdaRunning(false);
        AllDone();
        panel_.View().RunEnded({Verdict::Passed, {}});
        return;
    case phone::PhoneRunEnd::Failed:
        panel_.ShowPhoneFailure(panel_.StatusText());
        return;
    case phone::PhoneRunEnd::PortNotFound:
        handset_.m_DownSelect = 0;
        panel_.Clock().Stop(PanelTimer::Refresh);
        // The aborted display comes once the operator has closed the red
        // message, not behind it.
        if (panel_.TwoLine().IsShown())
            connect(
                &panel_.TwoLine(), &QDialog::finished, this, [this] { panel_.ShowAborted(); },
                Qt::SingleShotConnection);
        else
            panel_.ShowAborted();
        return;
    }
}

// WM_PDA_DOWNLOAD_DONE (0, 1) after a hand-over: the run waits for the
// modem's port; a list with no phone group of its own flashes the
// package's files.
void PanelRun::BeginPhonePart() {
    Log("OnComplete()+");
    if (panel_.CloseAfterDown()) {
        Log("if(m_CheckClose.GetCheck() == 1)");
        recording_.End();
        live_->run->Abandon({Verdict::Stopped, ""});
        panel_.EndPanel();
        return;
    }
    Log("else if((m_DownSelect &  ONLY_PHONE_DOWN) && (g_AllDownLoad  == TRUE))");
    panel_.RunLayout();
    if (heldPackage_)
        recording_.Inputs(records::InputsOfPhoneFiles(PhoneEngine().Files(), heldPackage_->path));
    Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset_.m_DownSelect));
    Log("OnComplete()-");
}

// WM_PDA_DOWNLOAD_DONE (0, 1): a PDA-only run's handset has gone.
void PanelRun::OnComplete() {
    Log("OnComplete()+");
    if (panel_.CloseAfterDown()) {
        Log("if(m_CheckClose.GetCheck() == 1)");
        panel_.EndPanel();
        return;
    }
    panel_.ShowPdaSuccess();
    Log("OnComplete()-");
}

// The run has ended and let its handset go. A PDA part's end is shown once
// its handset has left; a phone part's at once.
void PanelRun::OnRunFinished(Handset& handset, const handset::RunFinished& whole) {
    handset.finished = whole.finished;
    recording_.RunEnded(whole.finished, whole.half == handset::Half::Phone ? records::Half::Phone
                                                                           : records::Half::Pda);
    context_.flashWriting = false;
    const bool phone = phonePart_ || whole.half == handset::Half::Phone;
    phonePart_ = false;
    portTaken_ = false;
    StopWatchingModemPort();
    const std::optional<phone::PhoneRunEnd> phoneEnd = std::exchange(phoneEnd_, std::nullopt);
    switch (whole.finished.verdict) {
    case Verdict::Stopped:
        break; // Stop and close show it
    case Verdict::DeviceRemoved:
        panel_.ShowDisconnected();
        AllDone();
        if (phone)
            panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        ShowHeldRecords();
        break;
    case Verdict::Passed:
    case Verdict::Failed:
        // The engine's stop at the run's end took timer 1 too; a port not
        // found brings it back with the aborted display.
        if (phone) {
            if (phoneEnd != phone::PhoneRunEnd::PortNotFound)
                panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        } else if (!handset.onBus) {
            HandsetLeft(handset);
        } else if (!handset.pdaEnded) {
            panel_.SetPdaRunning(false);
            panel_.SetStatus(QStringLiteral("Aborted Download!"), StatusTone::Failed);
            panel_.IdleLayout();
        }
        break;
    }
}

// The run's handset has left the bus after its run ended.
void PanelRun::HandsetLeft(Handset& handset) {
    if (stopping_) {
        stopping_ = false;
        if (exiting_) {
            if (setup_.stopWatch)
                setup_.stopWatch();
            panel_.EndPanel();
        } else {
            panel_.ShowAborted();
        }
    } else if (handset.finished && handset.finished->verdict == Verdict::Passed) {
        OnComplete();
    } else if (handset.pdaEnded == Verdict::Passed) {
        // It passed, but handed nothing over to the phone part to come.
        Log("Downloaded Error Retry!!");
    } else if (handset.started) {
        panel_.ShowDisconnected();
        AllDone();
    }
    ShowHeldRecords();
}

} // namespace marlow::panel
