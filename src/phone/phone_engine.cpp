#include "phone/phone_engine.h"

namespace marlow::phone {

using namespace std::chrono_literals;

PhoneEngine::PhoneEngine(PhoneEngineSetup setup)
    : setup_(std::move(setup)),
      policy_(setup_.policy.value_or(setup_.owner == PhoneOwner::FrontPanel
                                         ? PhoneRunPolicy::FrontPanel()
                                         : PhoneRunPolicy::MainWindow())),
      library_(*setup_.library), events_(*setup_.events), clock_(*setup_.clock) {
    status_.Clear();
    library_.AttachReports(*this, status_);
    status_.Clear();
}

PhoneEngine::~PhoneEngine() {
    setup_.ports->StopWatchingPorts();
    library_.DetachReports();
    if (!inst_.port_open)
        return;
    status_.Clear();
    if (inst_.state != stIdle)
        library_.AbortProcess(inst_.channel, status_);
    library_.CloseCommPort(inst_.channel, status_);
}

void PhoneEngine::HandlePhoneEvent(PhoneEvent event, std::string_view text) {
    if (event == EVT_ABORT) {
        if (inst_.state != stIdle)
            AbortRun();
        return;
    }
    if (event == EVT_RESTART && inst_.state != stIdle) {
        status_.Clear();
        library_.AbortProcess(1, status_);
        Post(BootStalled{});
        ClosePort();
        // The abandoned boot is over once its port is closed; what it still
        // had to say (a late refusal) must not be taken for the re-boot's.
        mailbox_.Clear();
        inst_.state = stReBooting;
        Post(ReBootPending{});
    }
    HandleByState(event, text);
}

void PhoneEngine::HandleByState(PhoneEvent event, std::string_view text) {
    switch (inst_.state) {
    case stIdle:
        // Only a start begins a run. A report that arrives after its run has
        // ended, or a watchdog tick between runs, finds nothing to act on.
        if (event == EVT_START)
            StartRun();
        return;
    case stReBooting:
        ReBoot();
        return;
    case stBooting:
        if (event == EVT_ERROR)
            return FailPhoneDownload("Boot Failed", text);
        if (policy_.bootWatchdog)
            clock_.StopTimer(PhoneTimer::BootWatchdog);
        DownloadPsi();
        return;
    case stDownloadPsi:
        if (event == EVT_ERROR)
            return FailPhoneDownload("Boot Failed", text);
        DownloadSlb();
        return;
    case stDownloadSlb:
        if (event == EVT_ERROR)
            return FailPhoneDownload("Boot Failed", text);
        DownloadFls();
        return;
    case stDownloadFls:
        if (event == EVT_ERROR)
            return FailPhoneDownload("Failed (EEP)", text);
        DownloadEep();
        return;
    case stDownloadEep:
        if (event == EVT_ERROR)
            return FailPhoneDownload("Failed (EEP)", text);
        FinishPhoneDownload();
        return;
    case stEndOfProcess:
        inst_.state = stIdle;
        done_last_part();
        return;
    }
}

void PhoneEngine::StartRun() {
    reBooted_ = false;
    Post(BootStarted{});
    if (policy_.portSettle.count() > 0)
        clock_.Pause(policy_.portSettle); // the modem's port settles after it appears
    if (!OpenPort()) {
        Post(PortOpenFailed{});
        // The main window's run is over here (the front panel waits for its
        // operator's Stop); its owner must hear so to show a verdict.
        if (policy_.openFailureEndsRun)
            Finish(Verdict::Failed, "the modem port could not be opened");
        return;
    }
    inst_.state = stBooting;
    if (policy_.bootWatchdog)
        clock_.StartTimer(PhoneTimer::BootWatchdog, *policy_.bootWatchdog);
    Boot();
}

void PhoneEngine::ReBoot() {
    Post(ReBootStarted{});
    if (!OpenPort()) {
        Post(PortOpenFailed{.retry = true});
        // Nothing would come of waiting: the modem's port has gone or will
        // not open again, and no timer or report is left to move the run.
        FailPhoneDownload("Boot Failed", "The modem's port could not be opened again for the "
                                         "re-boot; reconnect the phone and start again.");
        return;
    }
    reBooted_ = true;
    inst_.state = stBooting;
    if (policy_.bootWatchdog)
        clock_.StartTimer(PhoneTimer::BootWatchdog, policy_.reBootLimit);
    Boot();
}

void PhoneEngine::Boot() {
    status_.Clear();
    const std::string& firmware = files_[PhoneFileRole::Firmware].path;
    if (library_.BootTarget(inst_.channel, firmware, controlBlock_, status_) == kCallFailed) {
        Post(BootRefused{});
        const std::string reason(status_.View());
        FailPhoneDownload("Boot Failed", reason);
        return;
    }
    inst_.state = stBooting;
    Post(BootUnderway{});
}

void PhoneEngine::AbortRun() {
    status_.Clear();
    library_.AbortProcess(1, status_);
    Post(RunAborting{});
    clock_.Pause(100ms); // the modem needs this before its port closes
    ClosePort();
    inst_.state = stIdle;
}

void PhoneEngine::Finish(Verdict verdict, std::string reason) {
    unfinished_ = false;
    Post(RunFinished{verdict, std::move(reason)});
}

void PhoneEngine::FinishIfUnfinished(Verdict verdict, std::string reason) {
    if (unfinished_)
        Finish(verdict, std::move(reason));
}

} // namespace marlow::phone
