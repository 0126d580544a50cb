// Releasing the PDA devices: stopping their downloads and, when the main
// frame asks for it, telling each boot loader to leave (USB_UNLOAD_CMD). A
// close or a front-panel exit or cancel then waits for the devices to go.

#include "hotplug/device_watcher.h"

#include "hotplug/hotplug_log.h"
#include "pda/pda_protocol.h"

namespace marlow::hotplug {

void CDeviceWatcher::StopDownload(Device& device, usb::StopCause cause) {
    usb::CUsbPipe& pipe = *device.pipe;
    qCDebug(lcHotplug, "stopping the download on %s (cause %d)", device.path.c_str(),
            static_cast<int>(cause));
    pipe.RequestStop(cause);
    // A stop request cuts every blocked read and write short, so the thread
    // ends within this grace; it is joined, never terminated, either way.
    if (device.run)
        device.run->Stop(cause, timing_.stopGrace);
}

void CDeviceWatcher::UnloadUsbDrv(bool close, bool unload, const std::string* onlyPath,
                                  usb::StopCause cause) {
    owner_.Step(WatcherStep::UnloadBegun);
    // A device still opening has no download to stop and cannot be told to
    // leave: its open ends here, as one that failed, so a close does not
    // wait for its removal.
    DropOpening(onlyPath, cause);
    if (devices_.empty() && close) {
        owner_.ClosedAtOnce();
        return;
    }
    for (const auto& device : devices_) {
        if (onlyPath != nullptr && device->path != *onlyPath)
            continue;
        StopDownload(*device, cause);
        // The run's image and list files were closed when its thread ended.
        if (unload) {
            owner_.Step(WatcherStep::UnloadCommand);
            qCDebug(lcHotplug, "telling %s to leave (USB_UNLOAD_CMD)", device->path.c_str());
            device->pipe->ClearStopRequest();
            const std::uint8_t unloadCommand = pda::CodeOf(pda::PdaCommand::USB_UNLOAD_CMD);
            device->pipe->WritePipe({&unloadCommand, 1});
        }
    }
    owner_.Step(WatcherStep::UnloadEnded);
    if (close)
        closePending_ = true;
}

void CDeviceWatcher::OnClose(usb::StopCause cause) {
    UnloadUsbDrv(true, true, nullptr, cause);
}

bool CDeviceWatcher::OnServiceDlgExit() {
    owner_.Step(WatcherStep::ServiceExit);
    UnloadUsbDrv(false, true);
    serviceExitPending_ = true;
    // With no device to wait for, nothing would ever end the panel.
    if (devices_.empty())
        CarryOutPendingRequest();
    return true;
}

bool CDeviceWatcher::OnServiceDlgCancel(usb::StopCause cause) {
    owner_.Step(WatcherStep::ServiceCancel);
    UnloadUsbDrv(false, true, nullptr, cause);
    serviceCancelPending_ = true;
    if (devices_.empty())
        CarryOutPendingRequest();
    return true;
}

} // namespace marlow::hotplug
