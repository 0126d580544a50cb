#include "gui/frame_devices.h"

#include "gui/frame_phone.h"
#include "gui/main_frame.h"
#include "gui/window_records.h"
#include "hotplug/download_command.h"
#include "pda/list_file.h"
#include "phone/qt_owner_thread.h"
#include "records/run_inputs.h"
#include "usb/libusb_device_source.h"
#include "usb/usb_ids.h"
#include "usb/virtual_bus_source.h"

#include <QMetaObject>
#include <utility>

namespace marlow::gui {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A bad setting is told, not dropped; the boot loader's own id still serves.
std::vector<usb::UsbId> PdaUsbIds(const QSettings& store,
                                  const std::function<void(const QString&, bool)>& problem) {
    auto ids = usb::ReadPdaUsbIds(store);
    if (ids)
        return *std::move(ids);
    problem(Latin1(ids.Error() + "; using " + std::string(usb::kDefaultPdaUsbIds)), false);
    return *usb::ParsePdaUsbIds(usb::kDefaultPdaUsbIds);
}

} // namespace

std::vector<std::unique_ptr<usb::DeviceSource>>
StartDeviceSources(const QSettings& store, const std::function<usb::DeviceEvents()>& events,
                   const std::function<void(const QString& text, bool messageBox)>& problem) {
    std::vector<std::unique_ptr<usb::DeviceSource>> started;
    const auto start = [&](std::unique_ptr<usb::DeviceSource> source) {
        Status status = source->Start(events());
        if (status)
            started.push_back(std::move(source));
        return status;
    };
    const QByteArray virtualBus = qgetenv("MARLOW_VIRTUAL_BUS");
    const QByteArray busGroup = qgetenv("MARLOW_VIRTUAL_BUS_GROUP");
    if (!virtualBus.isEmpty()) {
        if (const Status bus = start(std::make_unique<usb::VirtualBusSource>(
                virtualBus.toStdString(), busGroup.toStdString()));
            !bus)
            problem(Latin1(bus.Error()), true);
    }
    // A machine without USB access still serves the virtual bus; libusb's
    // refusal is not the operator's problem then.
    if (const Status usb =
            start(std::make_unique<usb::LibusbDeviceSource>(PdaUsbIds(store, problem)));
        !usb && virtualBus.isEmpty())
        problem(Latin1(usb.Error()), false);
    return started;
}

FrameDevices::FrameDevices(CMainFrame& frame, hotplug::WatcherTiming timing)
    : frame_(frame), owner_(std::make_unique<phone::QtOwnerThread>(&frame)),
      events_(frame.Context(), frame, frame),
      watcher_(std::make_unique<hotplug::CDeviceWatcher>(*this, std::move(timing))) {
    // Each handset's events go into the record of its run.
    events_.recordEvents = [this](const std::string& devicePath, const pda::PdaEvent& event) {
        if (WindowRun* run = RunAt(devicePath))
            run->record->Post(event);
    };
}

FrameDevices::~FrameDevices() {
    StopWatch();
    // Stops every download before the windows they write to go away.
    watcher_.reset();
}

usb::DeviceEvents FrameDevices::EventsForSources() {
    usb::DeviceEvents events;
    events.arrived = [this](std::unique_ptr<usb::UsbTransport> transport) {
        // Qt copies queued functors; the transport rides in a shared holder.
        auto holder = std::make_shared<std::unique_ptr<usb::UsbTransport>>(std::move(transport));
        QMetaObject::invokeMethod(
            &frame_, [this, holder] { Plugged(std::move(*holder)); }, Qt::QueuedConnection);
    };
    events.removed = [this](const std::string& devicePath) {
        QMetaObject::invokeMethod(
            &frame_, [this, devicePath] { Removed(devicePath); }, Qt::QueuedConnection);
    };
    // Devices refused or cut off, a listener short of descriptors: the
    // service engineer reads them where the handset's own chatter goes.
    events.problem = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            &frame_,
            [this, text] { events_.View().Trace(app::MessageWindowId::DebugMessage, "\n" + text); },
            Qt::QueuedConnection);
    };
    events.alreadyAttached = [this](const std::string& description) {
        QMetaObject::invokeMethod(
            &frame_, [this, description] { AlreadyAttached(description); }, Qt::QueuedConnection);
    };
    return events;
}

void FrameDevices::StartWatch() {
    auto started = StartDeviceSources(
        frame_.Context().store, [this] { return EventsForSources(); },
        [this](const QString& text, bool messageBox) {
            if (messageBox)
                frame_.ShowMessage(text, QString());
            else
                frame_.SetStatusText(text);
        });
    for (auto& source : started)
        sources_.push_back(std::move(source));
}

Status FrameDevices::AddSource(std::unique_ptr<usb::DeviceSource> source) {
    Status started = source->Start(EventsForSources());
    if (started)
        sources_.push_back(std::move(source));
    return started;
}

void FrameDevices::StopWatch() {
    for (auto& source : sources_)
        source->Stop();
    sources_.clear();
}

// Only handsets plugged in after the start are downloaded to: one that was
// there already would otherwise be flashed without anyone asking. The
// operator hears it once, whatever the number of such handsets.
void FrameDevices::AlreadyAttached(const std::string& description) {
    if (std::exchange(toldAlreadyAttached_, true))
        return;
    FileInformation("\nA handset was already connected when Marlow started (" + description +
                    ").\nUnplug it and plug it in again to download to it.");
}

// WM_DEVICECHANGE: any device news ends the port wait box first.
void FrameDevices::Plugged(std::unique_ptr<usb::UsbTransport> transport) {
    frame_.DestroyPortWaitDialog();
    watcher_->OnDeviceArrival(std::move(transport));
}

void FrameDevices::Removed(const std::string& devicePath) {
    frame_.DestroyPortWaitDialog();
    watcher_->OnDeviceQueryRemove(devicePath);
    frame_.DestroyPortWaitDialog();
    watcher_->OnDeviceRemoveComplete(devicePath);
    frame_.Context().run.deviceConnected = watcher_->DeviceCount() > 0;
    // The box belonged to the device's pipe, which is gone now.
    frame_.CloseFlashWaitBox();
}

FrameDevices::Handset& FrameDevices::HandsetAt(const std::string& devicePath) {
    std::lock_guard lock(handsetsMutex_);
    std::unique_ptr<Handset>& handset = handsets_[devicePath];
    if (!handset)
        handset = std::make_unique<Handset>();
    return *handset;
}

WindowRun* FrameDevices::RunAt(const std::string& devicePath) {
    return HandsetAt(devicePath).run.get();
}

records::HandsetRecording* FrameDevices::RecordOf(const handset::WholeRun& whole) {
    std::lock_guard lock(handsetsMutex_);
    for (const auto& [path, handset] : handsets_)
        if (handset->run && handset->run->whole.get() == &whole)
            return handset->run->record.get();
    for (const auto& run : earlier_)
        if (run->whole.get() == &whole)
            return run->record.get();
    return nullptr;
}

// The bare command starts every listed handset that is not downloading,
// each as if it had just connected; with none, the command is the window's
// own, refused or traced as it always was.
void FrameDevices::OnOperationDownload(const std::string* onlyPath) {
    MarlowContext& context = frame_.Context();
    context.SyncRunSettings();
    if (onlyPath) {
        StartHandset(*onlyPath);
        return;
    }
    std::vector<std::string> idle;
    for (const std::string& path : watcher_->DevicePaths())
        if (!watcher_->DownloadRunning(path))
            idle.push_back(path);
    if (idle.empty()) {
        hotplug::OperationDownload(*watcher_, context.run, events_);
        return;
    }
    for (const std::string& path : idle)
        StartHandset(path);
}

// Each run starts without a hand-over and without an earlier list's phone
// group, so only what this run reads can start a phone download. It is
// recorded as the handset's own, its phone half with it when the list or
// the "Phone" option hands the handset over; its slot is the USB port path
// the handset sits on (the bus's device path where the bus has no ports).
// Another handset's run goes on untouched, and so does this handset's
// earlier run where it is in its phone half.
void FrameDevices::StartHandset(const std::string& devicePath) {
    MarlowContext& context = frame_.Context();
    Handset& handset = HandsetAt(devicePath);
    const pda::PdaSettings settings = context.run.Settings();
    const std::string path = settings.downloadPath;
    WindowRecords& records = frame_.Records();
    auto run = std::make_unique<WindowRun>(
        devicePath,
        [this, devicePath](const pda::PdaEvent& event) { events_.ShowFor(devicePath, event); },
        [this] { return frame_.Phone().Engine().Port(); });
    if (handset.context.deviceConnected) {
        if (const Status may = records.MayStartRun(); !may) {
            frame_.ShowNotRecorded(QString::fromStdString(may.Error()));
            return;
        }
        const bool phoneFollows = context.PhoneOption() || pda::ReadListFile(path).hasPhoneGroup;
        records.BeginHandsetRun(run->record, phoneFollows ? "total" : "pda", true, phoneFollows,
                                [this](const QString& text) { frame_.ShowNotRecorded(text); });
        const usb::CUsbPipe* pipe = watcher_->FindPipe(devicePath);
        run->record->Slot(pipe && !pipe->UsbPortPath().empty() ? pipe->UsbPortPath() : devicePath);
    }
    RetireRunOf(handset);
    {
        std::lock_guard lock(handsetsMutex_);
        handset.run = std::move(run);
    }
    WindowRun& started = *handset.run;
    records::HandsetRecording* record = started.record.get();
    started.whole = std::make_unique<handset::WholeRun>(handset::WholeRunSetup{
        .mode = context.PhoneOption() ? handset::RunMode::Total : handset::RunMode::PdaOnly,
        .pda = settings,
        .ownerThread = owner_.get(),
        .events = &started,
        .listedOn = watcher_.get(),
        .devicePath = devicePath,
        .planChecked =
            [record, path](const pda::DownloadPlan& plan) {
                record->Inputs(records::InputsOfPlan(path, plan));
            },
        .followHandOver = true,
        .phoneOwner = &frame_.Phone(),
    });
    started.whole->Start(nullptr);
}

// The handset's last run makes room: its download has ended (only an idle
// handset is started). One that still waits for its handset to leave is
// given up; one in its phone half goes on beside the new one. Runs whose
// end has been told go.
void FrameDevices::RetireRunOf(Handset& handset) {
    std::erase_if(earlier_, [](const auto& run) { return !run->Going(); });
    if (!handset.run)
        return;
    watcher_->JoinDownload(handset.run->devicePath);
    std::unique_ptr<WindowRun> last;
    {
        std::lock_guard lock(handsetsMutex_);
        last = std::move(handset.run);
    }
    if (!last->Going())
        return;
    if (!last->whole->InPhoneHalf())
        last->whole->Abandon({Verdict::Stopped, "the handset was downloaded to again"});
    earlier_.push_back(std::move(last));
}

// What follows the handset's leaving is its run's decision; a run whose
// download passed and that handed nothing over has already ended.
bool FrameDevices::HandsetLeft(const std::string& devicePath) {
    WindowRun* run = RunAt(devicePath);
    if (run == nullptr || !run->whole)
        return false;
    const std::optional<handset::RunFinished>& outcome = run->whole->Outcome();
    if (!outcome) {
        run->whole->Reports().Left(devicePath, {.completed = true, .passed = true});
        return false;
    }
    return outcome->finished.verdict == Verdict::Passed && outcome->half == handset::Half::Pda;
}

bool FrameDevices::CloseRequested() {
    bool closeNow = false;
    closeNow_ = &closeNow;
    watcher_->OnClose();
    closeNow_ = nullptr;
    return closeNow;
}

void FrameDevices::UnloadUsbDrv(bool close, bool unload) {
    watcher_->UnloadUsbDrv(close, unload);
}

// Each handset downloads with a context of its own, so one handset's flags
// and plan never reach another's run. Until its download starts it follows
// the window's settings, which say how its arrival is shown.
pda::PdaRunContext& FrameDevices::ContextFor(const std::string& devicePath) {
    Handset& handset = HandsetAt(devicePath);
    if (handset.run && handset.run->Downloading())
        return handset.run->whole->Reports().ContextFor(devicePath);
    if (!watcher_->DownloadRunning(devicePath))
        handset.context.SetSettings(frame_.Context().run.Settings());
    return handset.context;
}

pda::PdaEventSink& FrameDevices::SinkFor(const std::string& devicePath) {
    Handset& handset = HandsetAt(devicePath);
    if (handset.run && handset.run->Downloading())
        return handset.run->whole->Reports().SinkFor(devicePath);
    return events_.For(devicePath);
}

// A device's open, from its own thread: the window takes the result after
// the device news posted before it.
void FrameDevices::PostToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(&frame_, std::move(task), Qt::QueuedConnection);
}

// On the download thread: the run that started the download is the
// handset's run until the download has been joined.
void FrameDevices::PdaRunEnded(const std::string& devicePath, const pda::PdaRunOutcome& outcome) {
    std::lock_guard lock(handsetsMutex_);
    const auto found = handsets_.find(devicePath);
    if (found != handsets_.end() && found->second->run && found->second->run->whole)
        found->second->run->whole->Reports().PdaRunEnded(devicePath, outcome);
}

void FrameDevices::FileInformation(std::string_view text) {
    MarlowContext& context = frame_.Context();
    context.Print(context.fileInformation, text);
}

void FrameDevices::MessageBox(std::string_view text) {
    frame_.ShowMessage(Latin1(text), QString());
}

void FrameDevices::Arrived(std::string_view description) {
    FileInformation("\nNew device Arrived: " + std::string(description));
}

void FrameDevices::QueryRemove(std::string_view description) {
    FileInformation("\nQuery Remove: " + std::string(description));
}

void FrameDevices::HandleClosed(std::string_view description) {
    FileInformation("\nClosed handle to device: " + std::string(description));
}

// ReportConnected: the "Device Port Status" box goes, then command 32771 is
// sent and waited for, as a window command sent through the File
// Information window would be. It starts the download of the handset that
// connected, and of no other: a handset still listed after its own download
// ended is not downloaded to again.
void FrameDevices::Connected(const std::string& devicePath) {
    frame_.DestroyPortWaitDialog();
    frame_.Context().run.deviceConnected = true;
    OnOperationDownload(&devicePath);
}

// WM_PDA_DOWNLOAD_DONE (1, 0) after a download that passed: the handset's
// run decides what follows, once the removal has been told.
void FrameDevices::Left(const std::string& devicePath, const Leaving& leaving) {
    if (leaving.completed && leaving.passed)
        emit frame_.pdaDownloadDone(true, false, QString::fromStdString(devicePath));
    FileInformation("\nRemoved Complete: " + std::string(leaving.description));
}

void FrameDevices::CloseCarriedOut() {
    emit frame_.mainFrameCloseRequested();
}

void FrameDevices::StopWatching() {
    StopWatch();
}

void FrameDevices::ClosedAtOnce() {
    if (closeNow_) {
        *closeNow_ = true;
        return;
    }
    emit frame_.mainFrameCloseRequested();
}

} // namespace marlow::gui
