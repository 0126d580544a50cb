// Starting a phone run, waiting for the modem's port, and stopping.

#include "phone/phone_engine.h"
#include "phone/phone_package.h"

namespace marlow::phone {

using namespace std::chrono_literals;

namespace {
constexpr auto kPollPeriod = 10ms;
} // namespace

bool PhoneEngine::StartMainWindowRun(const std::string& packagePath, PhoneStart how) {
    if (!BeginMainWindowRun())
        return false;
    const PackageLoadResult package = LoadPhonePackage(packagePath, files_);
    for (const Note& note : package.notes) {
        if (note.kind == NoteKind::MessageBox)
            out_.MessageBox(note.text, "");
        else
            Trace(note.text);
    }
    if (!package.Succeeded()) {
        // The running flag stays set: the operator clears it with cancel.
        Trace("\n Phone File Open Error... \n");
        return false;
    }
    return WaitForMainWindowPort(how);
}

bool PhoneEngine::StartMainWindowRun(const PhoneFileSet& files, PhoneStart how) {
    if (!BeginMainWindowRun())
        return false;
    files_ = files;
    return WaitForMainWindowPort(how);
}

bool PhoneEngine::BeginMainWindowRun() {
    running_ = true;
    if (setup_.phoneSelected())
        return true;
    out_.MessageBox("No Selected Phone!!  Retry to Select Phone!!!", "");
    running_ = false;
    return false;
}

bool PhoneEngine::WaitForMainWindowPort(PhoneStart how) {
    if (how == PhoneStart::AfterPdaDownload)
        Trace("\n Phone Download Start! \n");
    Trace("\n Wait For Phone USB... \n");
    out_.Progress({PhoneProgress::Kind::Shown, 0});
    clock_.StartTimer(PhoneTimer::PortPoll, kPollPeriod);
    return true;
}

void PhoneEngine::CancelMainWindowRun() {
    running_ = false;
    phoneUsbWait_ = 0;
    HandlePhoneEvent(EVT_ABORT, "");
    ClosePort();
    inst_.state = stIdle;
    Trace("\n DownCancel \n");
    clock_.StopTimer(PhoneTimer::PortPoll);
}

void PhoneEngine::BeginPanelPortWait() {
    clock_.StopTimer(PhoneTimer::PortPoll);
    Status("Wait For Phone USB...");
    Show(PhoneTarget::PercentLabel, "");
    clock_.StartTimer(PhoneTimer::PortPoll, kPollPeriod);
}

void PhoneEngine::StopPanelRun() {
    HandlePhoneEvent(EVT_ABORT, "");
    phoneUsbWait_ = 0;
    clock_.StopTimer(PhoneTimer::PortPoll);
}

void PhoneEngine::OnTimer(PhoneTimer timer) {
    if (!setup_.phoneSelected())
        return;
    if (timer == PhoneTimer::PortPoll)
        PollPort();
    else
        WatchdogTick();
}

void PhoneEngine::PollPort() {
    clock_.StopTimer(PhoneTimer::PortPoll);
    if (const std::optional<int> first = setup_.ports->FindFirstPort())
        PortFound(*first);
    else
        PortNotFoundYet();
}

void PhoneEngine::WatchdogTick() {
    clock_.StopTimer(PhoneTimer::BootWatchdog);
    HandlePhoneEvent(EVT_RESTART, "");
}

void PhoneEngine::PortFound(int number) {
    Trace("Check Phone USB");
    inst_.port_number = number;
    HandlePhoneEvent(EVT_START, "");
    phoneUsbWait_ = 0;
    Status("Phone USB Connected...");
}

void PhoneEngine::PortNotFoundYet() {
    if (phoneUsbWait_ == 0) {
        Trace("if(!m_PhoneUsbWait)");
        Trace("Phone USB Connecting...");
        Log("if(!m_PhoneUsbWait)");
        if (IsPanel())
            Show(PhoneTarget::CurrentFile, "Phone USB Connecting...");
    }
    const int limit = IsPanel() ? kFrontPanelPortPolls : kMainWindowPortPolls;
    if (phoneUsbWait_ < limit) {
        ++phoneUsbWait_;
        clock_.StartTimer(PhoneTimer::PortPoll, kPollPeriod);
        return;
    }
    phoneUsbWait_ = 0;
    if (IsPanel()) {
        Show(PhoneTarget::CurrentFile, "Phone USB is not Connected...");
        out_.TwoLineMessage("Phone USB Cable is not conntected! or", "Key is not Pressed!",
                            kRedText);
        clock_.StopTimer(PhoneTimer::PortPoll);
    } else {
        Trace("Phone USB is not Connected...");
    }
    out_.RunEnded(PhoneRunEnd::PortNotFound);
}

} // namespace marlow::phone
