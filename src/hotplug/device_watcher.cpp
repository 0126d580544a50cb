#include "hotplug/device_watcher.h"

#include "hotplug/hotplug_log.h"

#include <algorithm>

namespace marlow::hotplug {

std::string_view WatcherStepText(WatcherStep step) {
    switch (step) {
    case WatcherStep::NoDescription:
        return "GetDeviceDescription failed";
    case WatcherStep::RemoveComplete:
        return "case DBT_DEVICEREMOVECOMPLETE:";
    case WatcherStep::UnloadAfterRemoval:
        return "g_mainfrm->UnloadUsbDrv(FALSE, FALSE)";
    case WatcherStep::UnloadBegun:
        return "+UnloadUsbDrv()";
    case WatcherStep::UnloadCommand:
        return "if(bUnload)";
    case WatcherStep::UnloadEnded:
        return "-UnloadUsbDrv()";
    case WatcherStep::ServiceExit:
        return "case SERVICE_DLG_EXIT:";
    case WatcherStep::ServiceCancel:
        return "case SERVICE_DLG_CANCEL:";
    }
    return {};
}

void DeviceWatcherOwner::Step(WatcherStep step) {
    if (step == WatcherStep::NoDescription)
        MessageBox(WatcherStepText(step));
    else
        Log(WatcherStepText(step));
}

CDeviceWatcher::CDeviceWatcher(DeviceWatcherOwner& owner, WatcherTiming timing)
    : owner_(owner), timing_(std::move(timing)) {}

CDeviceWatcher::~CDeviceWatcher() {
    DropOpening(nullptr, usb::StopCause::Operator);
    for (auto& device : devices_) {
        device->run.reset(); // stops and joins it
        device->pipe->ClosePipe();
    }
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

    if (device->description.empty())
        owner_.Step(WatcherStep::NoDescription);
    owner_.Arrived(device->description);

    if (owner_.OpensInBackground()) {
        OpenInBackground(std::move(device));
        return true;
    }
    Device& added = *devices_.emplace_back(std::move(device));
    if (!added.pipe->OpenPipe()) {
        devices_.erase(Find(added.path));
        return true;
    }
    Connected(added);
    return true;
}

// The pauses between attempts are the pipe's stop-request waits, so a stop
// ends the open at once; the thread's last act is to post its result.
void CDeviceWatcher::OpenInBackground(std::unique_ptr<Device> device) {
    Device& opening = *opening_.emplace_back(std::move(device));
    opening.openSerial = ++openSerial_;
    opening.opening = std::jthread([this, pipe = opening.pipe.get(), serial = opening.openSerial,
                                    alive = std::weak_ptr<bool>(alive_)] {
        const bool opened = static_cast<bool>(pipe->OpenPipe());
        owner_.PostToUi([this, serial, opened, alive] {
            if (!alive.expired())
                OpenEnded(serial, opened);
        });
    });
}

void CDeviceWatcher::OpenEnded(std::uint64_t serial, bool opened) {
    const auto found = std::find_if(opening_.begin(), opening_.end(), [&](const auto& device) {
        return device->openSerial == serial;
    });
    if (found == opening_.end())
        return; // stopped meanwhile: its device has gone or was released
    std::unique_ptr<Device> device = std::move(*found);
    opening_.erase(found);
    device->opening.join(); // it has posted this, its last act
    if (!opened)
        return;
    Connected(*devices_.emplace_back(std::move(device)));
}

void CDeviceWatcher::DropOpening(const std::string* onlyPath, usb::StopCause cause) {
    const auto dropped = [&](const auto& device) {
        return onlyPath == nullptr || device->path == *onlyPath;
    };
    // Every stop is raised before the first join, so the opens end together.
    for (const auto& device : opening_)
        if (dropped(device))
            device->pipe->RequestStop(cause);
    for (const auto& device : opening_)
        if (dropped(device))
            device->opening.join();
    std::erase_if(opening_, dropped);
}

void CDeviceWatcher::Connected(Device& device) {
    device.handleRegistered = true;
    // Cleared before ReportConnected, which may start a download that
    // completes before it returns; clearing it afterwards would lose that.
    device.pipe->SetCompleted(false);
    ReportConnected(device);
}

void CDeviceWatcher::ReportConnected(Device& device) {
    pda::PdaRunContext& context = owner_.ContextFor(device.path);
    pda::PdaEventSink& out = owner_.SinkFor(device.path);
    if (!device.pipe->IsOpen()) {
        out.Post(pda::DeviceConnected{.opened = false});
        context.deviceConnected = false;
        return;
    }
    out.Post(pda::DeviceConnected{.opened = true, .serialNumber = device.pipe->SerialNumber()});
    context.deviceConnected = true;
    owner_.Connected(device.path);
}

bool CDeviceWatcher::OnDeviceQueryRemove(const std::string& devicePath) {
    if (const auto found = Find(devicePath); found != devices_.end())
        owner_.QueryRemove((*found)->description);
    return true;
}

bool CDeviceWatcher::OnDeviceRemoveComplete(const std::string& devicePath) {
    owner_.Step(WatcherStep::RemoveComplete);
    DropOpening(&devicePath, usb::StopCause::DeviceRemoved);
    if (Find(devicePath) == devices_.end())
        return true;
    pda::PdaRunContext& context = owner_.ContextFor(devicePath);
    const bool unexpected = !closePending_ && !serviceCancelPending_ && !serviceExitPending_;
    if (unexpected) {
        owner_.Step(WatcherStep::UnloadAfterRemoval);
        // Only the device that left is stopped: the others' downloads go on.
        UnloadUsbDrv(false, false, &devicePath, usb::StopCause::DeviceRemoved);
    }
    const auto found = Find(devicePath);
    std::unique_ptr<Device> device = std::move(*found);
    devices_.erase(found);
    context.flashWriting = false;
    device->handleRegistered = false;
    if (device->pipe->IsOpen()) {
        owner_.HandleClosed(device->description);
        device->pipe->ClosePipe();
    }
    context.deviceConnected = false;

    if (unexpected)
        owner_.Left(devicePath, {.description = device->description,
                                 .completed = device->pipe->Completed(),
                                 .passed = device->outcome && device->outcome->Passed()});
    CarryOutPendingRequest();
    return true;
}

void CDeviceWatcher::CarryOutPendingRequest() {
    if (closePending_) {
        closePending_ = false;
        owner_.StopWatching();
        owner_.CloseCarriedOut();
    } else if (serviceExitPending_) {
        serviceExitPending_ = false;
        owner_.StopWatching();
        owner_.ExitCarriedOut();
    } else if (serviceCancelPending_) {
        serviceCancelPending_ = false;
        owner_.CancelCarriedOut();
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
