#include "handset/whole_run.h"

#include "common/input_file.h"
#include "hotplug/download_command.h"

#include <algorithm>

namespace marlow::handset {

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
    : setup_(std::move(setup)), context_(setup_.pda), phone_(setup_.phone),
      engine_(phone_ != nullptr ? &phone_->Engine() : nullptr) {}

WholeRun::~WholeRun() {
    // The download thread ends before anything it might reach goes.
    watcher_.reset();
    if (phoneHalf_ && !Finished())
        StopPhoneHalf({Verdict::Stopped, ""});
    if (phoneHalf_ && setup_.phoneOwner != nullptr)
        setup_.phoneOwner->PhoneHalfGone(*this);
    if (phone_ != nullptr && phone_->run_ == this)
        phone_->run_ = nullptr;
}

// A run that waits for Go has not taken the engine yet: another run (a
// phone-only one) may hold it meanwhile.
void WholeRun::Lend() {
    if (phone_ != nullptr) {
        phone_->run_ = this;
        engine_->Files() = setup_.phoneFiles;
    }
    handset_.Begin(setup_.mode);
}

void WholeRun::Start(std::unique_ptr<usb::UsbTransport> bootLoader) {
    if (setup_.listedOn != nullptr) {
        // The owner's watcher has the handset listed and opened already.
        Lend();
        context_.SetSettings(handset_.PdaSettingsFor(context_.Settings()));
        context_.deviceConnected = setup_.listedOn->FindPipe(setup_.devicePath) != nullptr;
        connected_ = true;
        return StartDownloads();
    }
    if (!setup_.awaitGo) {
        Lend();
        if (setup_.mode == RunMode::PhoneOnly)
            return BeginPhoneHalf({});
        context_.SetSettings(handset_.PdaSettingsFor(context_.Settings()));
    }
    hotplug::DeviceWatcherOwner& owner = *this;
    watcher_ = std::make_unique<hotplug::CDeviceWatcher>(
        owner, hotplug::WatcherTiming{.openRetry = setup_.openRetry});
    watcher_->OnDeviceArrival(std::move(bootLoader));
    // One that opens in the background is heard of once it has (or never).
    if (!setup_.openInBackground && watcher_->DeviceCount() == 0) {
        watcher_.reset(); // nothing to let go
        End(Verdict::Failed, "the handset's boot loader could not be opened", Half::Pda,
            Ending::NotOpened);
    }
}

void WholeRun::Go(RunMode mode, const pda::PdaSettings& pda,
                  const phone::PhoneFileSet& phoneFiles) {
    if (Finished() || !setup_.awaitGo)
        return;
    setup_.awaitGo = false;
    setup_.mode = mode;
    setup_.phoneFiles = phoneFiles;
    Lend();
    context_.SetSettings(handset_.PdaSettingsFor(pda));
    if (connected_)
        StartDownloads();
}

void WholeRun::Removed(const std::string& devicePath) {
    if (watcher_)
        watcher_->OnDeviceRemoveComplete(devicePath);
}

void WholeRun::Abandon(const marlow::RunFinished& finished) {
    if (Finished() || abandoned_)
        return;
    abandoned_ = finished;
    if (phoneHalf_) {
        StopPhoneHalf(finished);
        Tell(Abandoning{Half::Phone});
        return End(finished.verdict, finished.reason, Half::Phone);
    }
    Tell(Abandoning{Half::Pda});
    const usb::StopCause cause = finished.verdict == Verdict::Stopped ? usb::StopCause::Operator
                                 : finished.verdict == Verdict::DeviceRemoved
                                     ? usb::StopCause::DeviceRemoved
                                     : usb::StopCause::TimedOut;
    // Without a download to end, the end's own release tells the handset to
    // leave (none on the owner's list, which keeps it until it leaves).
    if (!Downloading())
        return End(finished.verdict, finished.reason, Half::Pda);
    context_.flashWriting = false;
    if (setup_.listedOn != nullptr)
        setup_.listedOn->UnloadUsbDrv(false, true, &setup_.devicePath, cause);
    else
        watcher_->OnServiceDlgCancel(cause);
}

bool WholeRun::Downloading() const {
    if (setup_.listedOn != nullptr)
        return setup_.listedOn->DownloadRunning(setup_.devicePath);
    const std::vector<std::string> paths =
        watcher_ ? watcher_->DevicePaths() : std::vector<std::string>{};
    return std::any_of(paths.begin(), paths.end(),
                       [this](const auto& path) { return watcher_->DownloadRunning(path); });
}

// The phone half's own end gives its own reason where the stop gives none.
void WholeRun::StopPhoneHalf(const marlow::RunFinished& why) {
    if (setup_.phoneOwner != nullptr)
        return setup_.phoneOwner->StopPhoneHalf(*this, why);
    if (why.reason.empty())
        engine_->StopPanelRun();
    else
        engine_->StopPanelRun(why.verdict == Verdict::Stopped ? Verdict::Stopped : Verdict::Failed,
                              why.reason);
}

void WholeRun::PhoneHeard(const phone::PhoneRunEvent& event) {
    if (!Finished() && phoneHalf_)
        Heard(event);
}

void WholeRun::PhoneNotBegun(const std::string& reason) {
    End(Verdict::Failed, reason, Half::Phone, Ending::PhoneNotBegun);
}

void WholeRun::Later(std::function<void()> task) {
    setup_.ownerThread->Post([this, alive = std::weak_ptr<int>(alive_), task = std::move(task)] {
        if (!alive.expired() && !told_)
            task();
    });
}

void WholeRun::PostToUi(std::function<void()> task) {
    setup_.ownerThread->Post(std::move(task));
}

void WholeRun::Tell(const HandsetEvent& event) {
    Later([this, event] { setup_.events->Post(event); });
}

void WholeRun::Step(hotplug::WatcherStep step) {
    Tell(step);
}

void WholeRun::Connected(const std::string&) {
    Later([this] {
        if (Finished())
            return;
        connected_ = true;
        if (!setup_.awaitGo)
            StartDownloads();
    });
}

void WholeRun::StartDownloads() {
    if (setup_.listedOn != nullptr) {
        // The download command says its own refusals.
        if (!hotplug::OperationDownload(*setup_.listedOn, context_, *this, &setup_.devicePath,
                                        setup_.planChecked))
            End(Verdict::Failed, "the download did not start", Half::Pda, Ending::NotStarted);
        return;
    }
    if (!InputFile::Open(context_.Settings().downloadPath).Ok())
        End(Verdict::Failed, "the list cannot be opened", Half::Pda, Ending::ListGone);
    else if (!watcher_->StartPdaDownloads())
        End(Verdict::Failed, "the PDA download could not be started", Half::Pda);
}

// On the download thread: the hand-over selects the phone half at once, so
// that it is chosen before the handset's removal is heard.
void WholeRun::PdaRunEnded(const std::string&, const pda::PdaRunOutcome& outcome) {
    if (handset_.PdaHalfEnded(outcome))
        Tell(HandedOver{handset_.HandOverPort()});
}

// The handset left by itself: before its download was complete, or after
// its last command, when what follows is decided.
void WholeRun::Left(const std::string&, const Leaving& leaving) {
    if (!leaving.completed)
        return Later([this] {
            End(Verdict::DeviceRemoved, "the handset left before its download was complete",
                Half::Pda, Ending::Disconnected);
        });
    if (leaving.passed)
        Later([this] {
            if (!Finished())
                AfterPda();
        });
}

void WholeRun::CancelCarriedOut() {
    Later([this] {
        if (abandoned_)
            End(abandoned_->verdict, abandoned_->reason, Half::Pda, Ending::Aborted);
        else
            End(Verdict::Failed, "the PDA download was aborted", Half::Pda, Ending::Aborted);
    });
}

void WholeRun::Post(const pda::PdaEvent& event) {
    Later([this, event] { Heard(event); });
}

void WholeRun::Post(const phone::PhoneRunEvent& event) {
    Later([this, event] { Heard(event); });
}

void WholeRun::Heard(const pda::PdaEvent& event) {
    setup_.events->Post(event);
    if (std::holds_alternative<pda::PhoneDownSent>(event))
        handedOver_ = true;
    const auto* finished = std::get_if<marlow::RunFinished>(&event);
    if (finished == nullptr)
        return;
    if (abandoned_)
        End(abandoned_->verdict, abandoned_->reason.empty() ? finished->reason : abandoned_->reason,
            Half::Pda);
    else if (finished->verdict != Verdict::Passed)
        End(finished->verdict, finished->reason, Half::Pda);
    else if (setup_.mode == RunMode::PdaOnly && !(setup_.followHandOver && handedOver_))
        End(Verdict::Passed, "", Half::Pda);
}

void WholeRun::Heard(const phone::PhoneRunEvent& event) {
    setup_.events->Post(event);
    if (const auto* finished = std::get_if<marlow::RunFinished>(&event))
        End(finished->verdict, finished->reason, Half::Phone);
    // The front panel's run, whose port did not open, would wait for its
    // operator's Stop: a run has nobody to wait for.
    else if (const auto* failed = std::get_if<phone::PortOpenFailed>(&event);
             failed != nullptr && !failed->retry && phoneHalf_)
        End(Verdict::Failed, "the modem port could not be opened", Half::Phone);
}

// The PDA half's handset has left the bus after its last command: what
// follows is the handset run's decision.
void WholeRun::AfterPda() {
    switch (handset_.PdaHandsetLeft()) {
    case AfterPda::Done:
        if (setup_.mode == RunMode::PdaOnly)
            End(Verdict::Passed, "", Half::Pda);
        else
            End(Verdict::Failed, "the list handed nothing over to the modem", Half::Pda,
                Ending::NothingHandedOver);
        return;
    case AfterPda::PhoneHalf:
        if (engine_ != nullptr)
            handset_.TakeHandedOverFiles(engine_->Files());
        BeginPhoneHalf(handset_.HandOverPort());
        return;
    case AfterPda::NotHandedOver:
        End(Verdict::Failed, "the PDA download ended without handing over to the modem", Half::Pda,
            Ending::NotHandedOver);
        return;
    }
}

void WholeRun::BeginPhoneHalf(const std::string& usbPortPath) {
    phoneHalf_ = true;
    Tell(ModemPortWait{usbPortPath});
    if (setup_.phoneOwner != nullptr)
        return setup_.phoneOwner->BeginPhoneHalf(*this, handset_.HandedOverFiles(), usbPortPath);
    // An owner whose clock polls for the port as soon as the hand-over
    // selected the phone half may have found it already.
    if (!Finished() && engine_->Inst().state == phone::stIdle)
        engine_->BeginPanelPortWait(usbPortPath);
}

// The handset is let go before the end is told, and the end is told after
// everything before it: the owner may go on to the next handset, or destroy
// the run, from within the post. A PDA half that passed has sent its handset
// its last command: it leaves by itself.
void WholeRun::End(Verdict verdict, const std::string& reason, Half half, Ending ending) {
    if (Finished())
        return;
    outcome_ = RunFinished{{verdict, reason}, half, ending};
    handset_.End();
    const bool timedOut = abandoned_ && abandoned_->verdict != Verdict::Stopped;
    // A handset on the owner's list stays there until it leaves.
    if (watcher_ && !(verdict == Verdict::Passed && half == Half::Pda))
        watcher_->OnClose(timedOut ? usb::StopCause::TimedOut : usb::StopCause::Operator);
    Later([this] {
        watcher_.reset();
        told_ = true;
        // A copy: the owner may destroy the run from within the post.
        const RunFinished whole = *outcome_;
        setup_.events->Post(whole);
    });
}

} // namespace marlow::handset
