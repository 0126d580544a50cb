#include "hotplug/device_watcher.h"

#include "hotplug/hotplug_log.h"

#include <algorithm>

namespace marlow::hotplug {

namespace {

std::string WithDescription(const char* text, const std::string& description) {
    return text + description;
}

} // namespace

CDeviceWatcher::CDeviceWatcher(DeviceWatcherOwner& owner, WatcherTiming timing)
    : owner_(owner), timing_(std::move(timing)) {}

CDeviceWatcher::~CDeviceWatcher() {
    for (auto& device : devices_) {
        device->run.reset(); // stops and joins it
        device->pipe->ClosePipe();
    }
}

bool CDeviceWatcher::FrontPanelMode(const std::string& devicePath) {
    return owner_.ContextFor(devicePath).Settings().frontPanelMode;
}

std::vector<std::unique_ptr<CDeviceWatcher::Device>>::iterator
CDeviceWatcher::Find(const std::string& devicePath) {
    return std::find_if(devices_.begin(), devices_.end(),
                        [&](const auto& device) { return device->path == devicePath; });
}

usb::CUsbPipe* CDeviceWatcher::FindPipe(const std::string& devicePath) const {
    for (const auto& device : devices_)
        if (device->path == devicePath)
            return device->pipe.get();
    return nullptr;
}

bool CDeviceWatcher::DownloadRunning(const std::string& devicePath) const {
    for (const auto& device : devices_)
        if (device->path == devicePath)
            return device->run && device->run->Running();
    return false;
}

void CDeviceWatcher::JoinDownload(const std::string& devicePath) {
    if (const auto found = Find(devicePath); found != devices_.end() && (*found)->run)
        (*found)->run->Join();
}

std::vector<std::string> CDeviceWatcher::DevicePaths() const {
    std::vector<std::string> paths;
    for (const auto& device : devices_)
        paths.push_back(device->path);
    return paths;
}

bool CDeviceWatcher::OnDeviceArrival(std::unique_ptr<usb::UsbTransport> transport) {
    if (!transport)
        return false;
    auto device = std::make_unique<Device>();
    device->description = transport->Description();
    device->path = transport->DevicePath();
    device->pipe = std::make_unique<usb::CUsbPipe>(std::move(transport), timing_.openRetry);
    Device& added = *devices_.emplace_back(std::move(device));

    if (added.description.empty())
        owner_.MessageBox("GetDeviceDescription failed");
    const bool panel = FrontPanelMode(added.path);
    if (!panel)
        owner_.FileInformation(WithDescription("\nNew device Arrived: ", added.description));

    if (!added.pipe->OpenPipe()) {
        devices_.erase(Find(added.path));
        return true;
    }
    added.handleRegistered = true;
    // Cleared before ReportConnected, which may start a download that
    // completes before it returns; clearing it afterwards would lose that.
    added.pipe->SetCompleted(false);
    ReportConnected(added);
    return true;
}

void CDeviceWatcher::ReportConnected(Device& device) {
    pda::PdaRunContext& context = owner_.ContextFor(device.path);
    pda::PdaEventSink& out = owner_.SinkFor(device.path);
    if (!device.pipe->IsOpen()) {
        out.Post(pda::DeviceConnected{false});
        context.deviceConnected = false;
        return;
    }
    out.Post(pda::DeviceConnected{true});
    context.deviceConnected = true;
    if (context.Settings().frontPanelMode) {
        owner_.PanelDeviceArrived();
        return;
    }
    owner_.ClosePortWaitDialog();
    owner_.SendDownloadCommand(device.path);
}

bool CDeviceWatcher::OnDeviceQueryRemove(const std::string& devicePath) {
    const auto found = Find(devicePath);
    if (found != devices_.end() && !FrontPanelMode(devicePath))
        owner_.FileInformation(WithDescription("\nQuery Remove: ", (*found)->description));
    return true;
}

bool CDeviceWatcher::OnDeviceRemoveComplete(const std::string& devicePath) {
    owner_.Log("case DBT_DEVICEREMOVECOMPLETE:");
    if (Find(devicePath) == devices_.end())
        return true;
    pda::PdaRunContext& context = owner_.ContextFor(devicePath);
    const bool panel = context.Settings().frontPanelMode;

    const bool unexpected = !closePending_ && !serviceCancelPending_ && !serviceExitPending_;
    if (unexpected) {
        owner_.Log("g_mainfrm->UnloadUsbDrv(FALSE, FALSE)");
        // Only the device that left is stopped: the others' downloads go on.
        UnloadUsbDrv(false, false, &devicePath, usb::StopCause::DeviceRemoved);
    }
    const auto found = Find(devicePath);
    std::unique_ptr<Device> device = std::move(*found);
    devices_.erase(found);
    context.flashWriting = false;
    device->handleRegistered = false;
    if (device->pipe->IsOpen()) {
        if (!panel)
            owner_.FileInformation(
                WithDescription("\nClosed handle to device: ", device->description));
        device->pipe->ClosePipe();
    }
    context.deviceConnected = false;

    if (unexpected) {
        if (!device->pipe->Completed()) {
            if (panel)
                owner_.PanelDisconnectedDisplay();
        } else if (device->outcome && device->outcome->Passed()) {
            owner_.PdaDownloadDone(!panel);
        }
        if (!panel)
            owner_.FileInformation(WithDescription("\nRemoved Complete: ", device->description));
    }
    CarryOutPendingRequest();
    return true;
}

void CDeviceWatcher::CarryOutPendingRequest() {
    if (closePending_) {
        closePending_ = false;
        owner_.CancelInterfaceNotification();
        owner_.PostMainFrameClose();
    } else if (serviceExitPending_) {
        serviceExitPending_ = false;
        owner_.CancelInterfaceNotification();
        owner_.EndFrontPanel();
    } else if (serviceCancelPending_) {
        serviceCancelPending_ = false;
        owner_.PanelAbortedDisplay();
    }
}

bool CDeviceWatcher::StartPdaDownloads(const std::string* onlyPath) {
    for (const auto& device : devices_) {
        if (onlyPath != nullptr && device->path != *onlyPath)
            continue;
        if (device->run && device->run->Running())
            continue;
        device->run.reset();
        device->outcome.reset();
        Device& started = *device;
        auto run = pda::PdaDownloadThread::Start(
            *device->pipe, owner_.ContextFor(device->path), owner_.SinkFor(device->path),
            // On the download thread; read on this one only once it has been joined.
            [this, &started](const pda::PdaRunOutcome& outcome) {
                started.outcome = outcome;
                owner_.PdaRunEnded(started.path, outcome);
            });
        if (!run) {
            qCDebug(lcHotplug, "%s: %s", device->path.c_str(), run.Error().c_str());
            return false;
        }
        device->run = *std::move(run);
    }
    return true;
}

} // namespace marlow::hotplug
