#include "handset/whole_run.h"

namespace marlow::handset {

namespace {

pda::PdaSettings OnThePanel(pda::PdaSettings settings) {
    // The watcher serves the run as the front panel's: each arrival and
    // removal is told to the run, which decides.
    settings.frontPanelMode = true;
    return settings;
}

} // namespace

RunPhoneEngine::RunPhoneEngine(phone::PhoneEngineSetup setup)
    : engine_([this, &setup] {
          setup.events = this;
          setup.phoneSelected = [this] {
              return run_ != nullptr && run_->handset_.PhoneHalfSelected();
          };
          return std::move(setup);
      }()) {}

void RunPhoneEngine::Post(const phone::PhoneRunEvent& event) {
    if (run_ != nullptr)
        static_cast<phone::PhoneEventSink&>(*run_).Post(event);
}

WholeRun::WholeRun(WholeRunSetup setup)
    : setup_(std::move(setup)), context_(OnThePanel(setup_.pda)), phone_(*setup_.phone),
      engine_(phone_.Engine()) {}

WholeRun::~WholeRun() {
    // The download thread ends before anything it might reach goes.
    watcher_.reset();
    if (phoneHalf_ && !finished_)
        engine_.StopPanelRun();
    if (phone_.run_ == this)
        phone_.run_ = nullptr;
}

// A run that waits for Go has not taken the engine yet: another run (a
// phone-only one) may hold it meanwhile.
void WholeRun::Lend() {
    phone_.run_ = this;
    engine_.Files() = setup_.phoneFiles;
    handset_.Begin(setup_.mode);
}

void WholeRun::Start(std::unique_ptr<usb::UsbTransport> bootLoader) {
    if (!setup_.awaitGo) {
        Lend();
        if (setup_.mode == RunMode::PhoneOnly)
            return BeginPhoneHalf({});
        context_.SetSettings(handset_.PdaSettingsFor(context_.Settings()));
    }
    hotplug::DeviceWatcherOwner& owner = *this;
    watcher_ = std::make_unique<hotplug::CDeviceWatcher>(
        owner, hotplug::WatcherTiming{.openRetry = setup_.openRetry});
    if (!watcher_->OnDeviceArrival(std::move(bootLoader)))
        End(Verdict::Failed, "the handset's boot loader could not be opened", Half::Pda);
}

void WholeRun::Go(RunMode mode, const pda::PdaSettings& pda,
                  const phone::PhoneFileSet& phoneFiles) {
    if (finished_ || !setup_.awaitGo)
        return;
    setup_.awaitGo = false;
    setup_.mode = mode;
    setup_.phoneFiles = phoneFiles;
    Lend();
    context_.SetSettings(handset_.PdaSettingsFor(OnThePanel(pda)));
    if (connected_)
        StartDownloads();
}

void WholeRun::Removed(const std::string& devicePath) {
    if (watcher_)
        watcher_->OnDeviceRemoveComplete(devicePath);
}

void WholeRun::Abandon(const marlow::RunFinished& finished) {
    if (watcher_ && !finished_)
        watcher_->UnloadUsbDrv(false, true, nullptr,
                               finished.verdict == Verdict::Stopped ? usb::StopCause::Operator
                               : finished.verdict == Verdict::DeviceRemoved
                                   ? usb::StopCause::DeviceRemoved
                                   : usb::StopCause::TimedOut);
    End(finished.verdict, finished.reason, phoneHalf_ ? Half::Phone : Half::Pda);
}

void WholeRun::Later(std::function<void()> task) {
    setup_.ownerThread->Post([this, alive = std::weak_ptr<int>(alive_), task = std::move(task)] {
        if (!alive.expired() && !finished_)
            task();
    });
}

void WholeRun::PostToUi(std::function<void()> task) {
    setup_.ownerThread->Post(std::move(task));
}

void WholeRun::PanelDeviceArrived() {
    Later([this] {
        connected_ = true;
        if (!setup_.awaitGo)
            StartDownloads();
    });
}

void WholeRun::StartDownloads() {
    if (!watcher_->StartPdaDownloads())
        End(Verdict::Failed, "the PDA download could not be started", Half::Pda);
}

// On the download thread: the hand-over selects the phone half at once, so
// that it is chosen before the handset's removal is heard.
void WholeRun::PdaRunEnded(const std::string&, const pda::PdaRunOutcome& outcome) {
    if (handset_.PdaHalfEnded(outcome))
        Later([this] { setup_.events->Post(HandedOver{handset_.HandOverPort()}); });
}

void WholeRun::PdaDownloadDone(bool) {
    Later([this] { AfterPda(); });
}

void WholeRun::PanelDisconnectedDisplay() {
    Later([this] {
        End(Verdict::DeviceRemoved, "the handset left before its download was complete", Half::Pda);
    });
}

void WholeRun::PanelAbortedDisplay() {
    Later([this] { End(Verdict::Failed, "the PDA download was aborted", Half::Pda); });
}

void WholeRun::Post(const pda::PdaEvent& event) {
    Later([this, event] { Heard(event); });
}

void WholeRun::Post(const phone::PhoneRunEvent& event) {
    Later([this, event] { Heard(event); });
}

void WholeRun::Heard(const pda::PdaEvent& event) {
    setup_.events->Post(event);
    if (const auto* finished = std::get_if<marlow::RunFinished>(&event)) {
        if (finished->verdict != Verdict::Passed)
            End(finished->verdict, finished->reason, Half::Pda);
        else if (setup_.mode == RunMode::PdaOnly)
            End(Verdict::Passed, "", Half::Pda);
    }
}

void WholeRun::Heard(const phone::PhoneRunEvent& event) {
    setup_.events->Post(event);
    if (const auto* finished = std::get_if<marlow::RunFinished>(&event))
        End(finished->verdict, finished->reason, Half::Phone);
}

// The PDA half's handset has left the bus after its last command: what
// follows is the handset run's decision.
void WholeRun::AfterPda() {
    switch (handset_.PdaHandsetLeft()) {
    case AfterPda::Done:
        if (setup_.mode == RunMode::PdaOnly)
            End(Verdict::Passed, "", Half::Pda);
        else
            End(Verdict::Failed, "the list handed nothing over to the modem", Half::Pda);
        return;
    case AfterPda::PhoneHalf:
        handset_.TakeHandedOverFiles(engine_.Files());
        BeginPhoneHalf(handset_.HandOverPort());
        return;
    case AfterPda::NotHandedOver:
        End(Verdict::Failed, "the PDA download ended without handing over to the modem", Half::Pda);
        return;
    }
}

void WholeRun::BeginPhoneHalf(const std::string& usbPortPath) {
    phoneHalf_ = true;
    watcher_.reset(); // the boot loader has gone
    setup_.events->Post(ModemPortWait{usbPortPath});
    // The owner may have ended the run as it heard of the wait; and an
    // owner whose clock polls for the port as soon as the hand-over selected
    // the phone half may have found it already.
    if (!finished_ && engine_.Inst().state == phone::stIdle)
        engine_.BeginPanelPortWait(usbPortPath);
}

// The handset is let go before the end is told: the owner may go on to the
// next handset, or destroy the run, from within the post.
void WholeRun::End(Verdict verdict, const std::string& reason, Half half) {
    if (finished_)
        return;
    finished_ = true;
    // The port wait too: a wait left polling would find the next handset's.
    if (phoneHalf_)
        engine_.StopPanelRun(verdict == Verdict::Stopped ? Verdict::Stopped : Verdict::Failed,
                             reason);
    handset_.End();
    watcher_.reset();
    setup_.events->Post(RunFinished{{verdict, reason}, half});
}

} // namespace marlow::handset
