// Starting a phone run, waiting for the modem's port, and stopping.
//
// The wait keeps the rhythm of one poll every 10 ms and counts its polls
// exactly, but while the locator watches the ports it does not wake for
// them: nothing can be found until the watch speaks, so the wait sleeps until
// then, or until the poll that ends the wait is due, and on waking counts the
// polls it slept through as the unsuccessful polls they would have been.

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
    BeginPortWait();
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
    EndPortWait();
}

void PhoneEngine::BeginPanelPortWait() {
    clock_.StopTimer(PhoneTimer::PortPoll);
    Status("Wait For Phone USB...");
    Show(PhoneTarget::PercentLabel, "");
    BeginPortWait();
}

void PhoneEngine::StopPanelRun() {
    HandlePhoneEvent(EVT_ABORT, "");
    phoneUsbWait_ = 0;
    clock_.StopTimer(PhoneTimer::PortPoll);
    EndPortWait();
}

void PhoneEngine::BeginPortWait() {
    EndPortWait();
    waitStart_ = clock_.Now();
    // Called on the watch's thread; the engine hears it on its own.
    setup_.ports->WatchPorts([this, alive = std::weak_ptr<int>(alive_)] {
        setup_.ownerThread->Post([this, alive] {
            if (alive.lock())
                OnPortsChanged();
        });
    });
    clock_.StartTimer(PhoneTimer::PortPoll, kPollPeriod);
}

void PhoneEngine::EndPortWait() {
    sleeping_ = false;
    setup_.ports->StopWatchingPorts();
}

void PhoneEngine::OnPortsChanged() {
    if (sleeping_ && setup_.phoneSelected())
        PollPort();
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
    if (!CountSleptPolls())
        return;
    if (const std::optional<int> first = setup_.ports->FindFirstPort())
        PortFound(*first);
    else if (CountFailedPoll())
        ScheduleNextPoll();
}

bool PhoneEngine::CountSleptPolls() {
    if (!sleeping_)
        return true;
    sleeping_ = false;
    // This poll is the one due now; those before it slept.
    const auto due = static_cast<long long>((clock_.Now() - waitStart_) / kPollPeriod);
    for (long long slept = due - 1 - phoneUsbWait_; slept > 0; --slept) {
        if (!CountFailedPoll())
            return false;
    }
    return true;
}

void PhoneEngine::ScheduleNextPoll() {
    if (!setup_.ports->PortsWatched()) {
        clock_.StartTimer(PhoneTimer::PortPoll, kPollPeriod);
        return;
    }
    const auto lastPoll = waitStart_ + kPollPeriod * (PollLimit() + 1);
    const auto untilLastPoll =
        std::chrono::ceil<std::chrono::milliseconds>(lastPoll - clock_.Now());
    sleeping_ = true;
    clock_.StartTimer(PhoneTimer::PortPoll,
                      std::max<std::chrono::milliseconds>(untilLastPoll, kPollPeriod));
}

int PhoneEngine::PollLimit() const {
    return policy_.portPolls;
}

void PhoneEngine::WatchdogTick() {
    clock_.StopTimer(PhoneTimer::BootWatchdog);
    HandlePhoneEvent(EVT_RESTART, "");
}

void PhoneEngine::PortFound(int number) {
    EndPortWait();
    Trace("Check Phone USB");
    inst_.port_number = number;
    HandlePhoneEvent(EVT_START, "");
    phoneUsbWait_ = 0;
    Status("Phone USB Connected...");
}

bool PhoneEngine::CountFailedPoll() {
    if (phoneUsbWait_ == 0) {
        Trace("if(!m_PhoneUsbWait)");
        Trace("Phone USB Connecting...");
        Log("if(!m_PhoneUsbWait)");
        if (IsPanel())
            Show(PhoneTarget::CurrentFile, "Phone USB Connecting...");
    }
    if (phoneUsbWait_ < PollLimit()) {
        ++phoneUsbWait_;
        return true;
    }
    phoneUsbWait_ = 0;
    EndPortWait();
    if (IsPanel()) {
        Show(PhoneTarget::CurrentFile, "Phone USB is not Connected...");
        out_.TwoLineMessage("Phone USB Cable is not conntected! or", "Key is not Pressed!",
                            kRedText);
        clock_.StopTimer(PhoneTimer::PortPoll);
    } else {
        Trace("Phone USB is not Connected...");
    }
    out_.RunEnded(PhoneRunEnd::PortNotFound);
    return false;
}

} // namespace marlow::phone
