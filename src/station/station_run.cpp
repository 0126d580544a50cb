#include "station/station_run.h"

#include "handset/whole_run.h"
#include "pda/download_plan_check.h"
#include "phone/directory_watch.h"
#include "phone/library_channels.h"
#include "phone/phone_file_check.h"
#include "phone/phone_package.h"
#include "phone/usb_tty_paths.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"
#include "station/event_loop.h"
#include "station/run_watchdog.h"
#include "status/status_publisher.h"

#include <QDateTime>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace marlow::station {

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

handset::RunMode RunModeOf(station::SlotMode mode) {
    switch (mode) {
    case station::SlotMode::Pda:
        return handset::RunMode::PdaOnly;
    case station::SlotMode::Phone:
        return handset::RunMode::PhoneOnly;
    case station::SlotMode::Total:
        break;
    }
    return handset::RunMode::Total;
}

// What a slot flashes, as its records and status name it.
const std::string& SlotFile(const station::StationSlot& slot) {
    return slot.mode == station::SlotMode::Phone ? slot.phonePackage : slot.pdaFile;
}

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

// One slot: its thread and loop, and for each handset a whole run from
// plug-in to the handset's leaving. Everything runs on the slot's own
// thread; the run's events reach the slot there, the record first.
class SlotServer final : public handset::HandsetEventSink {
public:
    using Tell = std::function<void(const SlotEvent&)>;

    SlotServer(const station::StationSlot& slot, const StationSetup& setup,
               std::vector<records::InputFacts> inputs, phone::PhoneFileSet phoneFiles,
               phone::LibraryChannels& library, std::uint8_t channel, Tell tell)
        : slot_(slot), setup_(setup), tell_(std::move(tell)), inputs_(std::move(inputs)),
          phoneFiles_(std::move(phoneFiles)), watchdog_(setup.timeout),
          modemPorts_(setup.deviceTreeRoot, slot.portPath), library_(library.Channel(channel)),
          phone_([&] {
              phone::PhoneEngineSetup engine;
              engine.owner = phone::PhoneOwner::FrontPanel;
              engine.library = library_.get();
              engine.channel = channel;
              engine.clock = &loop_;
              engine.ownerThread = &loop_;
              engine.ports = &modemPorts_;
              return engine;
          }()) {
        shift_.slot = slot.name;
        loop_.SetTickHandler([this](phone::PhoneTimer timer) { phone_.Engine().OnTimer(timer); });
        if (slot_.mode == station::SlotMode::Phone)
            WatchForModems();
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
            if (state_ == State::Running)
                run_->Abandon({Verdict::Stopped, ""});
        });
        if (thread_.joinable())
            thread_.join();
    }
    SlotShift Shift() const {
        std::lock_guard lock(shiftMutex_);
        return shift_;
    }

    // The whole run's events, on the slot's thread.
    void Post(const handset::HandsetEvent& event) override {
        std::visit([this](const auto& fact) { Heard(fact); }, event);
    }

private:
    enum class State { Ready, Running, Leaving };

    void Serve() {
        // A run the stop has reached ends once its handset is let go.
        while (!stopping_ || state_ == State::Running) {
            loop_.RunOnce(watchdog_.Deadline());
            if (state_ == State::Running && watchdog_.Expired())
                run_->Abandon({Verdict::Failed, watchdog_.Reason()});
        }
        Release();
    }

    // A phone slot's handset comes as its modem port: the device tree's
    // dev/ folder is watched for the whole shift, and a port under the
    // slot's port path starts a run once the slot is ready.
    void WatchForModems() {
        Result<std::unique_ptr<phone::DirectoryWatch>> watch = phone::DirectoryWatch::Start(
            setup_.deviceTreeRoot + "/dev",
            [this](const std::optional<std::string>&) { loop_.Post([this] { CheckModem(); }); });
        if (watch)
            modems_ = std::move(*watch);
        else
            tell_(
                {.kind = SlotEventKind::NotServed,
                 .slot = slot_.name,
                 .port = slot_.portPath,
                 .text = "slot " + slot_.name + " cannot watch for modem ports: " + watch.Error()});
        // A modem already there when the station starts.
        loop_.Post([this] { CheckModem(); });
    }

    void CheckModem() {
        if (!stopping_ && state_ == State::Ready &&
            phone::FindTtyUnderUsbPort(setup_.deviceTreeRoot, slot_.portPath))
            Run(nullptr);
    }

    void Begin(std::unique_ptr<usb::UsbTransport> transport) {
        if (stopping_)
            return;
        if (slot_.mode == station::SlotMode::Phone) {
            tell_({.kind = SlotEventKind::NotServed,
                   .slot = slot_.name,
                   .port = slot_.portPath,
                   .text = "slot " + slot_.name +
                           " flashes the phone alone: it serves a handset's modem port, "
                           "not its boot loader"});
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
        Run(std::move(transport));
    }

    // A handset's whole run, on its boot loader; a phone slot's has none.
    void Run(std::unique_ptr<usb::UsbTransport> transport) {
        state_ = State::Running;
        pdaPath_ = transport ? transport->DevicePath() : std::string();
        startedMs_ = NowMs();
        started_ = std::chrono::steady_clock::now();
        stop_.Clear();
        if (setup_.writer) {
            records::RunFacts facts{.stationId = setup_.stationId,
                                    .slot = slot_.name,
                                    .frontEnd = setup_.frontEnd,
                                    .kind = std::string(station::SlotModeName(slot_.mode)),
                                    .handset = {.usbPath = slot_.portPath},
                                    .startedMs = startedMs_};
            recording_ = std::make_unique<records::RecordingReceiver>(
                setup_.writer->Begin(std::move(facts)));
            recording_->Inputs(inputs_);
        }
        file_.clear();
        percent_ = 0;
        serialNumber_.clear();
        tell_({.kind = SlotEventKind::Started, .slot = slot_.name, .port = slot_.portPath});
        if (transport) {
            Publish(status::SlotState::Pda);
            watchdog_.Arm("PDA: opening " + pdaPath_);
        }
        // The last run goes before this one takes the library channel.
        run_.reset();
        run_ = std::make_unique<handset::WholeRun>(handset::WholeRunSetup{
            .mode = RunModeOf(slot_.mode),
            .pda = {.downloadPath = slot_.pdaFile, .target = pda::DownloadTarget::Flash},
            .phoneFiles = phoneFiles_,
            .phone = &phone_,
            .ownerThread = &loop_,
            .openRetry = InterruptibleOpen(stop_, [this] { return &watchdog_; }),
            .events = this});
        run_->Start(std::move(transport));
    }

    void Heard(const pda::PdaEvent& event) {
        if (recording_)
            recording_->Post(event);
        watchdog_.Progress();
        if (const auto* connected = std::get_if<pda::DeviceConnected>(&event);
            connected != nullptr && connected->opened) {
            serialNumber_ = connected->serialNumber;
            watchdog_.Arm("PDA: Device Connected!");
        } else if (const auto* percent = std::get_if<pda::PercentReached>(&event))
            Progress(percent->image, percent->percent);
    }

    void Heard(const phone::PhoneRunEvent& event) {
        if (recording_)
            recording_->Post(event);
        watchdog_.Progress();
        if (std::holds_alternative<phone::PortFound>(event)) {
            if (recording_)
                recording_->Handset({.usbPath = slot_.portPath, .modemPort = modemPorts_.Found()});
            Publish(status::SlotState::Phone);
        } else if (const auto* part = std::get_if<phone::PartStarted>(&event)) {
            Progress(part->file, 0);
        } else if (const auto* report = std::get_if<phone::LibraryReport>(&event)) {
            if (report->percent > 0)
                Progress(file_, report->percent);
        }
    }

    void Heard(const handset::HandedOver&) {}
    void Heard(const handset::Abandoning&) {}
    void Heard(hotplug::WatcherStep) {}

    void Heard(const handset::ModemPortWait&) {
        phoneHalf_ = true;
        watchdog_.Arm("phone: waiting for the modem on USB port " + slot_.portPath);
        Publish(status::SlotState::PortWait);
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
        Publish(phoneHalf_ ? status::SlotState::Phone : status::SlotState::Pda);
    }

    // The run has ended and let its handset go.
    void Heard(const handset::RunFinished& whole) {
        state_ = State::Leaving;
        phoneHalf_ = false;
        watchdog_.Disarm();
        const RunFinished& finished = whole.finished;
        std::string runId;
        if (recording_) {
            recording_->RunEnded(finished);
            runId = recording_->RunId();
            finishes_.push_back(recording_->Finish());
            recording_.reset();
        }
        // A run stopped with the station says nothing of its handset.
        if (finished.verdict != Verdict::Stopped) {
            std::lock_guard lock(shiftMutex_);
            ++shift_.units;
            ++(finished.verdict == Verdict::Passed ? shift_.passed : shift_.failed);
        }
        lastVerdict_ = VerdictName(finished.verdict);
        lastReason_ = finished.reason;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started_);
        tell_({.kind = SlotEventKind::Finished,
               .slot = slot_.name,
               .port = slot_.portPath,
               .finished = finished,
               .elapsed = elapsed});
        Publish(SlotStateOf(finished.verdict));
        if (setup_.publisher != nullptr)
            setup_.publisher->RunFinished({.runId = runId,
                                           .slot = slot_.name,
                                           .kind = std::string(station::SlotModeName(slot_.mode)),
                                           .verdict = VerdictName(finished.verdict),
                                           .reason = finished.reason,
                                           .serialNumber = serialNumber_,
                                           .file = SlotFile(slot_),
                                           .startedMs = startedMs_,
                                           .endedMs = NowMs()});
        // The finished run goes once its post has returned: it holds
        // nothing the slot needs, and its engine's port watch would stay.
        loop_.Post([this] {
            if (state_ != State::Running)
                run_.reset();
        });
        // The handset's leaving is heard on the bus and in dev/.
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
        if (state_ == State::Running)
            run_->Removed(path);
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
        modems_.reset();
        run_.reset();
        waiting_.reset();
        leaving_.reset();
        for (const std::shared_future<Status>& finish : finishes_)
            finish.wait_for(records::kRecordFinishBound);
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
    const std::vector<records::InputFacts> inputs_; // what a record names as its files
    // The slot's package as the station read it at its start; a Total run's
    // hand-over replaces the roles its list's phone group names.
    const phone::PhoneFileSet phoneFiles_;
    EventLoop loop_;
    ProgressWatchdog watchdog_;
    SlotModemPort modemPorts_;
    std::unique_ptr<phone::PhoneLibrary> library_;
    handset::RunPhoneEngine phone_;
    usb::StopRequest stop_;

    // The current handset (the slot's thread only).
    State state_ = State::Ready;
    bool stopping_ = false;
    bool phoneHalf_ = false;
    std::string pdaPath_; // the boot loader's device path while it is on the bus
    std::unique_ptr<usb::UsbTransport> waiting_; // plugged in while the slot was busy
    std::unique_ptr<records::RecordingReceiver> recording_;
    std::unique_ptr<phone::DirectoryWatch> leaving_;
    std::unique_ptr<phone::DirectoryWatch> modems_; // a phone slot's watch for its modem
    std::vector<std::shared_future<Status>> finishes_;
    std::chrono::steady_clock::time_point started_;
    std::int64_t startedMs_ = 0;
    std::string file_;
    int percent_ = 0;
    std::string serialNumber_; // the handset's, once its boot loader has opened
    std::string lastVerdict_;
    std::string lastReason_;

    mutable std::mutex shiftMutex_;
    SlotShift shift_;
    // Last of the run's own: it goes first, while the loop it posts to is here.
    std::unique_ptr<handset::WholeRun> run_;
    std::thread thread_;
};

namespace {

// A slot's package read as `marlow-cli phone` reads one; a Total slot's
// need not fill every role, as its list's phone group may fill the rest.
Result<phone::PhoneFileSet> ReadSlotPackage(const station::StationSlot& slot) {
    phone::PhoneFileSet files;
    if (slot.phonePackage.empty())
        return files;
    const std::string said = "slot " + slot.name + ": ";
    const phone::PackageLoadResult loaded = phone::LoadPhonePackage(slot.phonePackage, files);
    if (!loaded.Succeeded()) {
        // Why it did not open; or why it was refused, the last message the
        // package had for the operator.
        std::string why = loaded.reason;
        if (why.empty())
            for (const Note& note : loaded.notes)
                if (note.kind == NoteKind::MessageBox)
                    why = note.text;
        return Failure{said + "cannot read the phone package " + slot.phonePackage +
                       (why.empty() ? "" : ": " + why)};
    }
    std::string problems;
    for (const std::string& problem : phone::PhoneFileProblems(
             files, slot.mode == station::SlotMode::Total ? phone::RolesNeeded::Named
                                                          : phone::RolesNeeded::All))
        problems += (problems.empty() ? "" : "\n") + said + problem;
    if (!problems.empty())
        return Failure{problems};
    return files;
}

// The files each slot's records name, digests and all. Slots of a fixture
// mostly flash the same list and package: each is read and hashed once,
// however many slots name it, so a station of eight starts as fast as one.
// A Total slot's package adds the roles its list's phone group leaves to it.
std::vector<std::vector<records::InputFacts>>
InputsOfSlots(const std::vector<station::StationSlot>& slotList,
              const std::vector<phone::PhoneFileSet>& phoneFiles) {
    struct Known {
        std::vector<records::InputFacts> inputs;
        std::set<std::string> phoneRoles; // those a list's phone group names
    };
    std::map<std::string, Known> lists;
    std::map<std::string, std::vector<records::InputFacts>> packages;
    const pda::DownloadCheck check{.wholeFiles = false, .phoneGroup = false};
    std::vector<std::vector<records::InputFacts>> inputs;
    for (std::size_t index = 0; index < slotList.size(); ++index) {
        const station::StationSlot& slot = slotList[index];
        std::vector<records::InputFacts>& facts = inputs.emplace_back();
        std::set<std::string> listed;
        if (slot.mode != station::SlotMode::Phone) {
            const auto [list, fresh] = lists.try_emplace(slot.pdaFile);
            if (fresh)
                if (const Result<pda::DownloadPlan> plan =
                        pda::CheckDownloadPlan(slot.pdaFile, check)) {
                    list->second.inputs = records::InputsOfPlan(slot.pdaFile, *plan);
                    for (const pda::PhoneGroupFile& member : plan->phoneGroup)
                        list->second.phoneRoles.insert(phone::PhoneFileRoleKey(member.role));
                }
            facts = list->second.inputs;
            listed = list->second.phoneRoles;
        }
        if (slot.phonePackage.empty())
            continue;
        const auto [package, fresh] = packages.try_emplace(slot.phonePackage);
        if (fresh)
            package->second = records::InputsOfPhoneFiles(phoneFiles[index], slot.phonePackage);
        for (const records::InputFacts& input : package->second)
            if (!listed.contains(input.role))
                facts.push_back(input);
    }
    return inputs;
}

} // namespace

Result<std::unique_ptr<Station>> Station::Start(StationSetup setup) {
    std::vector<phone::PhoneFileSet> phoneFiles;
    std::string problems;
    for (const station::StationSlot& slot : setup.station.slotList) {
        Result<phone::PhoneFileSet> files = ReadSlotPackage(slot);
        if (!files)
            problems += (problems.empty() ? "" : "\n") + files.Error();
        phoneFiles.push_back(files ? std::move(*files) : phone::PhoneFileSet{});
    }
    if (!problems.empty())
        return Failure{problems};
    return std::unique_ptr<Station>(new Station(std::move(setup), phoneFiles));
}

Station::Station(StationSetup setup, const std::vector<phone::PhoneFileSet>& phoneFiles)
    : setup_(std::move(setup)),
      library_(std::make_unique<phone::LibraryChannels>(*setup_.library)) {
    // Without records nothing asks for the files' digests.
    const std::vector<std::vector<records::InputFacts>> inputs =
        setup_.writer ? InputsOfSlots(setup_.station.slotList, phoneFiles)
                      : std::vector<std::vector<records::InputFacts>>(phoneFiles.size());
    // Channels from 1, a slot's own.
    std::uint8_t channel = 0;
    for (std::size_t index = 0; index < setup_.station.slotList.size(); ++index)
        slots_.push_back(std::make_unique<SlotServer>(
            setup_.station.slotList[index], setup_, inputs[index], phoneFiles[index], *library_,
            ++channel, [this](const SlotEvent& event) { Tell(event); }));
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

} // namespace marlow::station
