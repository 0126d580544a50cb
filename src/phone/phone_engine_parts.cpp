// The parts of a phone run: the port, the four file downloads and the two
// ways a run ends.

#include "phone/phone_engine.h"

namespace marlow::phone {

bool PhoneEngine::DownloadPsi() {
    return DownloadPart({stDownloadPsi, PhoneFileRole::PsiLoader});
}

bool PhoneEngine::DownloadSlb() {
    return DownloadPart({stDownloadSlb, PhoneFileRole::SecondStageLoader});
}

bool PhoneEngine::DownloadFls() {
    return DownloadPart({stDownloadFls, PhoneFileRole::Firmware});
}

bool PhoneEngine::DownloadEep() {
    return DownloadPart({stDownloadEep, PhoneFileRole::Eeprom});
}

bool PhoneEngine::DownloadPart(const PartStep& step) {
    inst_.state = step.state;
    status_.Clear();
    const PhoneFileEntry& file = files_[step.role];
    Post(PartStarted{step.role, file.displayName});

    const std::uint32_t result =
        step.role == PhoneFileRole::Eeprom
            ? library_.DownloadEepFile(inst_.channel, file.path, 0, status_)
            : library_.DownloadFlsFile(inst_.channel, file.path, status_);
    if (result == kCallFailed) {
        Post(PartRefused{step.role});
        const std::string reason(status_.View());
        HandlePhoneEvent(EVT_ERROR, reason);
    }
    // Started, or its failure already handled: either way the part is dealt with.
    return true;
}

bool PhoneEngine::OpenPort() {
    if (inst_.port_open)
        return true;
    status_.Clear();
    bool opened = false;
    try {
        if (library_.OpenCommPort(inst_.channel, port_.path, kPhoneBaudRate, status_) == 0) {
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
    Post(LibraryStatus{std::string(status_.View())});
}

void PhoneEngine::FinishPhoneDownload() {
    Post(PartsDone{});
    inst_.state = stIdle;
    if (inst_.port_open) {
        status_.Clear();
        Post(ProcessEnding{});
        inst_.state = stEndOfProcess;
        library_.EndOfProcess(inst_.channel, status_);
    }
    HandlePhoneEvent(EVT_ABORT, "");
    ClosePort();
    inst_.state = stIdle;

    Post(PhoneDownloaded{});
    if (!IsPanel()) {
        running_ = false;
        phoneUsbWait_ = 0;
        clock_.StopTimer(PhoneTimer::PortPoll);
    }
    Finish(Verdict::Passed, {});
}

void PhoneEngine::FailPhoneDownload(std::string_view label, std::string_view text) {
    // The text may be the status buffer itself, which the close below reuses.
    const std::string reason(text);
    const PhoneState failedIn = inst_.state;
    inst_.state = stIdle;
    Post(PartFailed{failedIn, reason});
    ClosePort();
    Post(FailedRunReleased{});
    // The main window keeps its timers and running flag: its operator ends
    // the run with cancel.
    Finish(Verdict::Failed, reason.empty() ? std::string(label) : reason);
}

void PhoneEngine::done_last_part() {
    Post(LastPartClosing{});
    if (inst_.port_open)
        ClosePort();
    Post(LastPartClosed{});
}

} // namespace marlow::phone
