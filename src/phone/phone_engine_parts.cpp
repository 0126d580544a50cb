// The parts of a phone run: the port, the four file downloads and the two
// ways a run ends.

#include "phone/phone_engine.h"

namespace marlow::phone {

bool PhoneEngine::DownloadPsi() {
    return DownloadPart({stDownloadPsi, "Downloading PSI", PhoneFileRole::PsiLoader});
}

bool PhoneEngine::DownloadSlb() {
    return DownloadPart({stDownloadSlb, "Downloading SLB", PhoneFileRole::SecondStageLoader});
}

bool PhoneEngine::DownloadFls() {
    return DownloadPart({stDownloadFls, "Downloading FLS", PhoneFileRole::Firmware});
}

bool PhoneEngine::DownloadEep() {
    return DownloadPart({stDownloadEep, "Downloading EEPROM", PhoneFileRole::Eeprom});
}

bool PhoneEngine::DownloadPart(const PartStep& step) {
    inst_.state = step.state;
    out_.Progress({PhoneProgress::Kind::Value, 0});
    status_.Clear();
    const PhoneFileEntry& file = files_[step.role];
    Status(step.label);
    if (IsPanel())
        Show(PhoneTarget::CurrentFile, file.displayName);
    Trace("\n Current Download = " + file.displayName + " \n");

    const std::uint32_t result =
        step.role == PhoneFileRole::Eeprom
            ? library_.DownloadEepFile(inst_.channel, file.path, 0, status_)
            : library_.DownloadFlsFile(inst_.channel, file.path, status_);
    if (result == kCallFailed) {
        if (step.state == stDownloadPsi)
            Trace("\n Error \n");
        const std::string reason(status_.View());
        HandlePhoneEvent(EVT_ERROR, reason);
    }
    // Started, or its failure already handled: either way the part is dealt with.
    return true;
}

bool PhoneEngine::OpenPort() {
    if (inst_.port_open)
        return true;
    const std::string port = setup_.ports->PortName(inst_.port_number);
    status_.Clear();
    bool opened = false;
    try {
        if (library_.OpenCommPort(inst_.channel, port, kPhoneBaudRate, status_) == 0) {
            WriteStatusIfAny();
            status_.Clear();
            inst_.port_open = true;
            opened = true;
        }
    } catch (...) {
        // Foreign code: whatever it throws, the port is not open.
        inst_.port_open = false;
    }
    WriteStatusIfAny();
    status_.Clear();
    return opened;
}

bool PhoneEngine::ClosePort() {
    if (!inst_.port_open)
        return true;
    status_.Clear();
    bool closed = false;
    if (library_.CloseCommPort(inst_.channel, status_) == 0) {
        inst_.port_open = false;
        closed = true;
    }
    WriteStatusIfAny();
    return closed;
}

void PhoneEngine::WriteStatusIfAny() {
    if (status_.Empty())
        return;
    const std::string text(status_.View());
    Trace("\n");
    Trace(text);
    Trace("\n");
    Log(text);
}

void PhoneEngine::FinishPhoneDownload() {
    Status("Success");
    inst_.state = stIdle;
    if (inst_.port_open) {
        status_.Clear();
        Status("Done");
        inst_.state = stEndOfProcess;
        library_.EndOfProcess(inst_.channel, status_);
    }
    HandlePhoneEvent(EVT_ABORT, "");
    ClosePort();
    inst_.state = stIdle;

    if (IsPanel()) {
        Status("Phone Download Successfully!");
        Show(PhoneTarget::PercentLabel, "Bye!");
        Log("Phone Download Successfully!");
        Show(PhoneTarget::CurrentFile, "");
        AllDownLoadDone();
        out_.RunEnded(PhoneRunEnd::Succeeded);
        out_.MessageBox("PDA & Phone Download Successfully~!!", "Download Complete!!");
        return;
    }
    Trace("\n Phone Downloaded Successfully! \n");
    out_.Progress({PhoneProgress::Kind::Removed, 0});
    Show(PhoneTarget::DebugMessage, "\n Phone Downloaded Successfully! \n");
    running_ = false;
    phoneUsbWait_ = 0;
    clock_.StopTimer(PhoneTimer::PortPoll);
    out_.RunEnded(PhoneRunEnd::Succeeded);
}

void PhoneEngine::FailPhoneDownload(std::string_view label, std::string_view text) {
    // The text may be the status buffer itself, which the close below reuses.
    const std::string reason(text);
    inst_.state = stIdle;
    Trace(label);
    Trace("\n");
    Status(label);
    if (!reason.empty()) {
        Trace(reason);
        Log(reason);
        out_.MessageBox(reason, "");
    }
    Trace("\n Phone Downloaded Fail! \n");
    Log("Phone Downloaded Fail!");
    ClosePort();
    AllDownLoadDone();

    if (IsPanel()) {
        Status("Phone Downloaded Fail!");
        Show(PhoneTarget::PercentLabel, "Retry!");
        Show(PhoneTarget::CurrentFile, "");
    }
    // The main window keeps its timers and running flag: its operator ends
    // the run with cancel.
    out_.RunEnded(PhoneRunEnd::Failed);
}

void PhoneEngine::done_last_part() {
    Trace("\n done_last_part(TInst *inst) + \n");
    Log("done_last_part(TInst *inst) +");
    if (inst_.port_open)
        ClosePort();
    Trace("\n done_last_part(TInst *inst) - \n");
    Log("done_last_part(TInst *inst) -");
    Status("Success");
    if (IsPanel())
        out_.Progress({PhoneProgress::Kind::Value, 0});
}

} // namespace marlow::phone
