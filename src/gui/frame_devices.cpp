#include "gui/frame_devices.h"

#include "gui/main_frame.h"
#include "phone/qt_owner_thread.h"
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

// A device's open, from its own thread: the window takes the result after
// the device news posted before it.
void FrameDevices::PostToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(&frame_, std::move(task), Qt::QueuedConnection);
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
