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

bool PhoneEngine::StartMainWindowRun(const std::string& packagePath, PhoneStart how,
                                     std::string usbPortPath) {
    if (!BeginMainWindowRun())
        return false;
    handsetPort_ = std::move(usbPortPath);
    const PackageLoadResult package = LoadPhonePackage(packagePath, files_);
    for (const Note& note : package.notes)
        Post(PackageNote{note.text, note.kind == NoteKind::MessageBox});
    if (!package.Succeeded()) {
        // The running flag stays set: the operator clears it with cancel.
        Post(PackageUnreadable{});
        return false;
    }
    return WaitForMainWindowPort(how);
}

bool PhoneEngine::StartMainWindowRun(const PhoneFileSet& files, PhoneStart how,
                                     std::string usbPortPath) {
    if (!BeginMainWindowRun())
        return false;
    handsetPort_ = std::move(usbPortPath);
    files_ = files;
    return WaitForMainWindowPort(how);
}

bool PhoneEngine::BeginMainWindowRun() {
    running_ = true;
    if (setup_.phoneSelected())
        return true;
    Post(PhoneNotSelected{});
    running_ = false;
    return false;
}

bool PhoneEngine::WaitForMainWindowPort(PhoneStart how) {
    unfinished_ = true;
    Post(PortWaitStarted{how == PhoneStart::AfterPdaDownload});
    BeginPortWait();
    return true;
}

void PhoneEngine::CancelMainWindowRun(Verdict verdict, std::string reason) {
    running_ = false;
    phoneUsbWait_ = 0;
    HandlePhoneEvent(EVT_ABORT, "");
    ClosePort();
    inst_.state = stIdle;
    Post(RunCancelled{});
    clock_.StopTimer(PhoneTimer::PortPoll);
    EndPortWait();
    FinishIfUnfinished(verdict, std::move(reason));
}

void PhoneEngine::BeginPanelPortWait(std::string usbPortPath) {
    handsetPort_ = std::move(usbPortPath);
    clock_.StopTimer(PhoneTimer::PortPoll);
    unfinished_ = true;
    Post(PortWaitStarted{});
    BeginPortWait();
}

void PhoneEngine::StopPanelRun(Verdict verdict, std::string reason) {
    HandlePhoneEvent(EVT_ABORT, "");
    phoneUsbWait_ = 0;
    clock_.StopTimer(PhoneTimer::PortPoll);
    EndPortWait();
    FinishIfUnfinished(verdict, std::move(reason));
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
    if (const std::optional<ModemPort> port = setup_.ports->FindPort(handsetPort_))
        PortFound(*port);
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
    if (reBooted_ && inst_.state == stBooting)
        return FailPhoneDownload("Boot Failed",
                                 "The modem answered neither its boot nor the one re-boot.");
    HandlePhoneEvent(EVT_RESTART, "");
}

void PhoneEngine::PortFound(const ModemPort& port) {
    EndPortWait();
    Post(phone::PortFound{port.number});
    port_ = port;
    inst_.port_number = port.number;
    HandlePhoneEvent(EVT_START, "");
    phoneUsbWait_ = 0;
    Post(PortWaitEnded{});
}

bool PhoneEngine::CountFailedPoll() {
    if (phoneUsbWait_ == 0)
        Post(PortWaitPolled{});
    if (phoneUsbWait_ < PollLimit()) {
        ++phoneUsbWait_;
        return true;
    }
    phoneUsbWait_ = 0;
    EndPortWait();
    Post(PortWaitGaveUp{});
    if (IsPanel())
        clock_.StopTimer(PhoneTimer::PortPoll);
    Finish(Verdict::Failed, "the modem's port did not appear");
    return false;
}

} // namespace marlow::phone
