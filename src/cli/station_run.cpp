#include "cli/station_run.h"

#include "cli/event_loop.h"
#include "cli/run_recording.h"
#include "cli/run_watchdog.h"
#include "handset/handset_run.h"
#include "hotplug/device_watcher.h"
#include "pda/download_plan_check.h"
#include "phone/directory_watch.h"
#include "phone/library_channels.h"
#include "phone/phone_engine.h"
#include "phone/usb_tty_paths.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"
#include "status/status_publisher.h"

#include <QDateTime>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

namespace marlow::cli {

namespace {

std::int64_t NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The modem port of one slot: the tty under the slot's USB port path, and no
// other, whatever the run asks for. The device tree's dev/ folder is watched,
// so a wait sleeps until a node comes or goes.
class SlotModemPort : public phone::PhonePortLocator {
public:
    SlotModemPort(std::string root, std::string portPath)
        : root_(std::move(root)), portPath_(std::move(portPath)) {}

    std::optional<phone::ModemPort> FindPort(const std::string& /*usbPortPath*/) override {
        const std::optional<std::string> tty = phone::FindTtyUnderUsbPort(root_, portPath_);
        if (!tty)
            return std::nullopt;
        phone::ModemPort port{.path = phone::TtyDeviceNode(root_, *tty),
                              .usbPortPath = portPath_,
                              .number = phone::PortNumberOf(tty->substr(3)).value_or(0)};
        std::lock_guard lock(mutex_);
        found_ = port.path;
        return port;
    }
    // The node the last search found, for the run's record.
    std::string Found() const {
        std::lock_guard lock(mutex_);
        return found_;
    }
    bool WatchPorts(std::function<void()> changed) override {
        StopWatchingPorts();
        Result<std::unique_ptr<phone::DirectoryWatch>> watch = phone::DirectoryWatch::Start(
            root_ + "/dev", [changed](const std::optional<std::string>&) { changed(); });
        if (!watch)
            return false;
        watch_ = std::move(*watch);
        return true;
    }
    void StopWatchingPorts() override { watch_.reset(); }
    bool PortsWatched() const override { return watch_ && watch_->Healthy(); }

private:
    std::string root_;
    std::string portPath_;
    std::unique_ptr<phone::DirectoryWatch> watch_;
    mutable std::mutex mutex_;
    std::string found_;
};

status::SlotState SlotStateOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return status::SlotState::Passed;
    case Verdict::Stopped:
        return status::SlotState::Stopped;
    case Verdict::Failed:
    case Verdict::DeviceRemoved:
        break;
    }
    return status::SlotState::Failed;
}

} // namespace

// One slot: its thread and loop, and for each handset a run from plug-in to
// the handset's leaving. Everything but the download thread's calls runs on
// the slot's own thread; a finished run's tasks still queued are passed over
// by their run number.
class SlotServer final : public hotplug::DeviceWatcherOwner,
                         public pda::PdaEventSink,
                         public phone::PhoneEventSink {
public:
    using Tell = std::function<void(const SlotEvent&)>;

    SlotServer(const station::StationSlot& slot, const StationSetup& setup,
               phone::LibraryChannels& library, std::uint8_t channel, Tell tell)
        : slot_(slot), setup_(setup), tell_(std::move(tell)), watchdog_(setup.timeout),
          modemPorts_(setup.deviceTreeRoot, slot.portPath), library_(library.Channel(channel)),
          engine_([&] {
              phone::PhoneEngineSetup engine;
              engine.owner = phone::PhoneOwner::FrontPanel;
              engine.library = library_.get();
              engine.channel = channel;
              engine.events = this;
              engine.clock = &loop_;
              engine.ownerThread = &loop_;
              engine.ports = &modemPorts_;
              engine.phoneSelected = [this] { return handset_.PhoneHalfSelected(); };
              return engine;
          }()) {
        shift_.slot = slot.name;
        loop_.SetTickHandler([this](phone::PhoneTimer timer) { engine_.OnTimer(timer); });
        const pda::DownloadCheck check{.wholeFiles = false, .phoneGroup = false};
        if (const Result<pda::DownloadPlan> plan = pda::CheckDownloadPlan(slot.pdaFile, check))
            inputs_ = records::InputsOfPlan(slot.pdaFile, *plan);
        Publish(status::SlotState::Waiting);
        thread_ = std::thread([this] { Serve(); });
    }
    ~SlotServer() override { Stop(); }

    void Arrived(std::unique_ptr<usb::UsbTransport> transport) {
        // The loop's tasks are copied, the transport is not.
        auto held = std::make_shared<std::unique_ptr<usb::UsbTransport>>(std::move(transport));
        loop_.Post([this, held] { Begin(std::move(*held)); });
    }
    void Removed(const std::string& path) {
        loop_.Post([this, path] { Left(path); });
    }
    void Stop() {
        loop_.Post([this] {
            stopping_ = true;
            stop_.Raise();
            End(Verdict::Stopped, "");
        });
        if (thread_.joinable())
            thread_.join();
    }
    SlotShift Shift() const {
        std::lock_guard lock(shiftMutex_);
        return shift_;
    }

    // --- the device watcher's owner
    pda::PdaRunContext& ContextFor(const std::string&) override { return *context_; }
    pda::PdaEventSink& SinkFor(const std::string&) override { return *this; }
    void PanelDeviceArrived() override {
        watchdog_.Arm("PDA: Device Connected!");
        OnLoop([this] {
            if (!watcher_->StartPdaDownloads())
                End(Verdict::Failed, "the PDA download could not be started");
        });
    }
    void PdaRunEnded(const std::string&, const pda::PdaRunOutcome& outcome) override {
        handset_.PdaHalfEnded(outcome);
    }
    void PdaDownloadDone(bool) override {
        OnLoop([this] { AfterPda(); });
    }
    void PanelDisconnectedDisplay() override {
        OnLoop([this] {
            End(Verdict::DeviceRemoved, "the handset left before its download was complete");
        });
    }
    void PanelAbortedDisplay() override {
        OnLoop([this] { End(Verdict::Failed, "the PDA download was aborted"); });
    }

    // --- the run's events, from the download thread or the phone engine
    void Post(const pda::PdaEvent& event) override {
        OnLoop([this, event] { Heard(event); });
    }
    void Post(const phone::PhoneRunEvent& event) override {
        OnLoop([this, event] { Heard(event); });
    }

private:
    enum class State { Ready, Running, Leaving };

    // A task of the current run; passed over once that run has ended.
    void OnLoop(std::function<void()> task) {
        loop_.Post([this, run = run_.load(), task = std::move(task)] {
            if (run == run_ && state_ == State::Running)
                task();
        });
    }

    void Serve() {
        while (!stopping_) {
            loop_.RunOnce(watchdog_.Deadline());
            if (state_ == State::Running && watchdog_.Expired())
                End(Verdict::Failed, watchdog_.Reason());
        }
        Release();
    }

    void Begin(std::unique_ptr<usb::UsbTransport> transport) {
        if (stopping_)
            return;
        if (slot_.mode == station::SlotMode::Phone) {
            tell_({.kind = SlotEventKind::NotServed,
                   .slot = slot_.name,
                   .port = slot_.portPath,
                   .text = "slot " + slot_.name +
                           " flashes the phone alone, which the station does not serve"});
            return;
        }
        // A handset plugged in before the last one has gone (its modem port
        // still in the device tree, its removal not yet heard) waits for the
        // slot, which serves it as soon as it is free. Only one handset fits
        // the port: a later arrival replaces one that waits.
        if (state_ != State::Ready) {
            waiting_ = std::move(transport);
            return;
        }
        ++run_;
        state_ = State::Running;
        pdaPath_ = transport->DevicePath();
        startedMs_ = NowMs();
        started_ = std::chrono::steady_clock::now();
        handset_.Begin(slot_.mode == station::SlotMode::Pda ? handset::RunMode::PdaOnly
                                                            : handset::RunMode::Total);
        context_ = std::make_unique<pda::PdaRunContext>(
            handset_.PdaSettingsFor({.downloadPath = slot_.pdaFile,
                                     .target = pda::DownloadTarget::Flash,
                                     .frontPanelMode = true}));
        stop_.Clear();
        watcher_ = std::make_unique<hotplug::CDeviceWatcher>(
            *this, hotplug::WatcherTiming{
                       .openRetry = InterruptibleOpen(stop_, [this] { return &watchdog_; })});
        if (setup_.recording != nullptr && setup_.recording->On()) {
            records::RunFacts facts{.stationId = setup_.stationId,
                                    .slot = slot_.name,
                                    .frontEnd = "cli station",
                                    .kind = std::string(station::SlotModeName(slot_.mode)),
                                    .handset = {.usbPath = slot_.portPath},
                                    .startedMs = startedMs_};
            recording_ = std::make_unique<records::RecordingReceiver>(
                setup_.recording->Begin(std::move(facts)));
            recording_->Inputs(inputs_);
        }
        file_.clear();
        percent_ = 0;
        tell_({.kind = SlotEventKind::Started, .slot = slot_.name, .port = slot_.portPath});
        Publish(status::SlotState::Pda);
        watchdog_.Arm("PDA: opening " + pdaPath_);
        if (!watcher_->OnDeviceArrival(std::move(transport)))
            End(Verdict::Failed, "the handset's boot loader could not be opened");
    }

    void Heard(const pda::PdaEvent& event) {
        if (recording_)
            recording_->Post(event);
        watchdog_.Progress();
        if (const auto* percent = std::get_if<pda::PercentReached>(&event)) {
            Progress(percent->image, percent->percent);
        } else if (const auto* finished = std::get_if<RunFinished>(&event)) {
            if (finished->verdict != Verdict::Passed)
                End(finished->verdict, finished->reason);
            else if (slot_.mode == station::SlotMode::Pda)
                End(Verdict::Passed, "");
        }
    }

    void Heard(const phone::PhoneRunEvent& event) {
        if (recording_)
            recording_->Post(event);
        watchdog_.Progress();
        if (std::holds_alternative<phone::PortFound>(event) && recording_) {
            recording_->Handset({.usbPath = slot_.portPath, .modemPort = modemPorts_.Found()});
            Publish(status::SlotState::Phone);
        } else if (const auto* part = std::get_if<phone::PartStarted>(&event)) {
            Progress(part->file, 0);
        } else if (const auto* report = std::get_if<phone::LibraryReport>(&event)) {
            if (report->percent > 0)
                Progress(file_, report->percent);
        } else if (const auto* finished = std::get_if<RunFinished>(&event)) {
            End(finished->verdict, finished->reason);
        }
    }

    void Progress(const std::string& file, int percent) {
        if (file == file_ && percent == percent_)
            return;
        file_ = file;
        percent_ = percent;
        tell_({.kind = SlotEventKind::Progress,
               .slot = slot_.name,
               .port = slot_.portPath,
               .file = file,
               .percent = percent});
        Publish(handset_.PhoneHalfSelected() ? status::SlotState::Phone : status::SlotState::Pda);
    }

    // The PDA half's handset has left the bus: what follows is the handset
    // run's decision.
    void AfterPda() {
        switch (handset_.PdaHandsetLeft()) {
        case handset::AfterPda::Done:
            if (slot_.mode == station::SlotMode::Pda)
                End(Verdict::Passed, "");
            else
                End(Verdict::Failed, "the list handed nothing over to the modem");
            break;
        case handset::AfterPda::PhoneHalf:
            handset_.TakeHandedOverFiles(engine_.Files());
            watchdog_.Arm("phone: waiting for the modem on USB port " + slot_.portPath);
            Publish(status::SlotState::PortWait);
            handset_.StartPhoneHalf(engine_);
            break;
        case handset::AfterPda::NotHandedOver:
            End(Verdict::Failed, "the PDA download ended without handing over to the modem");
            break;
        }
    }

    void End(Verdict verdict, const std::string& reason) {
        if (state_ != State::Running)
            return;
        state_ = State::Leaving;
        watchdog_.Disarm();
        if (engine_.Inst().state != phone::stIdle)
            engine_.StopPanelRun(verdict == Verdict::Stopped ? Verdict::Stopped : Verdict::Failed,
                                 reason);
        handset_.End();
        const RunFinished finished{verdict, reason};
        std::string runId;
        if (recording_) {
            recording_->RunEnded(finished);
            runId = recording_->RunId();
            finishes_.push_back(recording_->Finish());
            recording_.reset();
        }
        // A run stopped with the station says nothing of its handset.
        if (verdict != Verdict::Stopped) {
            std::lock_guard lock(shiftMutex_);
            ++shift_.units;
            ++(verdict == Verdict::Passed ? shift_.passed : shift_.failed);
        }
        lastVerdict_ = VerdictName(verdict);
        lastReason_ = reason;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started_);
        tell_({.kind = SlotEventKind::Finished,
               .slot = slot_.name,
               .port = slot_.portPath,
               .finished = finished,
               .elapsed = elapsed});
        Publish(SlotStateOf(verdict));
        if (setup_.publisher != nullptr)
            setup_.publisher->RunFinished({.runId = runId,
                                           .slot = slot_.name,
                                           .kind = std::string(station::SlotModeName(slot_.mode)),
                                           .verdict = VerdictName(verdict),
                                           .reason = reason,
                                           .file = slot_.pdaFile,
                                           .startedMs = startedMs_,
                                           .endedMs = NowMs()});
        // The handset is let go at once, before the slot hears of anything
        // else: a next handset may already be queued behind this task, and
        // its run must find the slot's watcher and stop request its own.
        // (Every watcher report reaches End through a task of the loop, so
        // no watcher call is under way here.) Its leaving is heard on the
        // bus and in dev/.
        stop_.Raise();
        watcher_.reset();
        Result<std::unique_ptr<phone::DirectoryWatch>> watch = phone::DirectoryWatch::Start(
            setup_.deviceTreeRoot + "/dev",
            [this](const std::optional<std::string>&) { loop_.Post([this] { CheckLeft(); }); });
        if (watch)
            leaving_ = std::move(*watch);
        CheckLeft();
    }

    void Left(const std::string& path) {
        if (waiting_ && waiting_->DevicePath() == path)
            waiting_.reset();
        if (path != pdaPath_)
            return;
        pdaPath_.clear();
        if (watcher_)
            watcher_->OnDeviceRemoveComplete(path);
        CheckLeft();
    }

    void CheckLeft() {
        if (state_ != State::Leaving || !pdaPath_.empty() ||
            phone::FindTtyUnderUsbPort(setup_.deviceTreeRoot, slot_.portPath))
            return;
        state_ = State::Ready;
        leaving_.reset();
        tell_({.kind = SlotEventKind::Ready, .slot = slot_.name, .port = slot_.portPath});
        Publish(status::SlotState::Waiting);
        if (waiting_)
            Begin(std::move(waiting_));
    }

    void Release() {
        if (engine_.Inst().state != phone::stIdle)
            engine_.StopPanelRun();
        watcher_.reset();
        waiting_.reset();
        leaving_.reset();
        for (const std::shared_future<Status>& finish : finishes_)
            finish.wait_for(kRecordFinishBound);
    }

    void Publish(status::SlotState state) {
        if (setup_.publisher == nullptr)
            return;
        const SlotShift shift = Shift();
        setup_.publisher->Slot(
            {.slot = slot_.name,
             .state = state,
             .file = file_,
             .percent = percent_,
             .elapsedMs = state_ == State::Ready
                              ? 0
                              : std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - started_)
                                    .count(),
             .lastVerdict = lastVerdict_,
             .lastReason = lastReason_,
             .units = shift.units,
             .firstPass = shift.passed});
    }

    const station::StationSlot slot_;
    const StationSetup& setup_;
    const Tell tell_;
    CliEventLoop loop_;
    ProgressWatchdog watchdog_;
    SlotModemPort modemPorts_;
    std::unique_ptr<phone::PhoneLibrary> library_;
    handset::HandsetRun handset_;
    phone::PhoneEngine engine_;
    std::vector<records::InputFacts> inputs_;
    usb::StopRequest stop_;

    // The current run (the slot's thread only, but run_ which tasks read).
    std::atomic<int> run_{0};
    State state_ = State::Ready;
    bool stopping_ = false;
    std::string pdaPath_; // the boot loader's device path while it is on the bus
    std::unique_ptr<pda::PdaRunContext> context_;
    std::unique_ptr<hotplug::CDeviceWatcher> watcher_;
    std::unique_ptr<usb::UsbTransport> waiting_; // plugged in while the slot was busy
    std::unique_ptr<records::RecordingReceiver> recording_;
    std::unique_ptr<phone::DirectoryWatch> leaving_;
    std::vector<std::shared_future<Status>> finishes_;
    std::chrono::steady_clock::time_point started_;
    std::int64_t startedMs_ = 0;
    std::string file_;
    int percent_ = 0;
    std::string lastVerdict_;
    std::string lastReason_;

    mutable std::mutex shiftMutex_;
    SlotShift shift_;
    std::thread thread_;
};

Station::Station(StationSetup setup)
    : setup_(std::move(setup)),
      library_(std::make_unique<phone::LibraryChannels>(*setup_.library)) {
    // Channels from 1, a slot's own.
    std::uint8_t channel = 0;
    for (const station::StationSlot& slot : setup_.station.slotList)
        slots_.push_back(std::make_unique<SlotServer>(
            slot, setup_, *library_, ++channel, [this](const SlotEvent& event) { Tell(event); }));
}

Station::~Station() {
    Stop();
}

void Station::Stop() {
    for (const std::unique_ptr<SlotServer>& slot : slots_)
        slot->Stop();
}

std::vector<SlotShift> Station::Shift() const {
    std::vector<SlotShift> shift;
    for (const std::unique_ptr<SlotServer>& slot : slots_)
        shift.push_back(slot->Shift());
    return shift;
}

void Station::Tell(const SlotEvent& event) {
    std::lock_guard lock(eventsMutex_);
    if (setup_.events)
        setup_.events(event);
}

usb::DeviceEvents Station::Handlers() {
    return {
        .arrived =
            [this](std::unique_ptr<usb::UsbTransport> transport) { Arrived(std::move(transport)); },
        .removed =
            [this](const std::string& path) {
                for (const std::unique_ptr<SlotServer>& slot : slots_)
                    slot->Removed(path);
            },
        .problem =
            [this](const std::string& text) {
                Tell({.kind = SlotEventKind::NotServed, .text = text});
            },
        .alreadyAttached = {}};
}

void Station::Arrived(std::unique_ptr<usb::UsbTransport> transport) {
    const std::string port = transport->PortPath();
    const Result<const station::StationSlot*> slot = station::SlotOnPort(setup_.station, port);
    if (!slot) {
        Tell({.kind = SlotEventKind::NotServed, .port = port, .text = slot.Error()});
        return;
    }
    const std::size_t index = static_cast<std::size_t>(*slot - setup_.station.slotList.data());
    slots_[index]->Arrived(std::move(transport));
}

} // namespace marlow::cli
