// Releasing the PDA devices: stopping their downloads and, when the main
// frame asks for it, telling each boot loader to leave (USB_UNLOAD_CMD). A
// close or a front-panel exit or cancel then waits for the devices to go.

#include "hotplug/device_watcher.h"

#include "pda/pda_protocol.h"

#include <thread>

namespace marlow::hotplug {

namespace {

constexpr std::chrono::milliseconds kFirstLook{200};
constexpr std::chrono::milliseconds kNextLook{100};
constexpr int kLooks = 3;

} // namespace

void CDeviceWatcher::Pause(std::chrono::milliseconds duration) {
    if (timing_.pause)
        timing_.pause(duration);
    else
        std::this_thread::sleep_for(duration);
}

void CDeviceWatcher::StopDownload(Device& device) {
    pda::CUsbPipe& pipe = *device.pipe;
    pipe.RequestStop();
    // A stop request cuts every blocked read and write short, so the thread
    // ends within this grace; it is joined, never terminated, either way.
    Pause(kFirstLook);
    for (int look = 0; look < kLooks && pipe.ThreadRunning(); ++look)
        Pause(kNextLook);
    pipe.JoinDownloadThread();
}

void CDeviceWatcher::UnloadUsbDrv(bool close, bool unload, const std::string* onlyPath) {
    owner_.Log("+UnloadUsbDrv()");
    if (devices_.empty() && close) {
        owner_.CloseFrameNow();
        return;
    }
    for (const auto& device : devices_) {
        if (onlyPath != nullptr && device->path != *onlyPath)
            continue;
        StopDownload(*device);
        // The run's image and list files were closed when its thread ended.
        if (unload) {
            owner_.Log("if(bUnload)");
            device->pipe->ClearStopRequest();
            const std::uint8_t unloadCommand = pda::CodeOf(pda::PdaCommand::USB_UNLOAD_CMD);
            device->pipe->WritePipe({&unloadCommand, 1});
        }
    }
    owner_.Log("-UnloadUsbDrv()");
    if (close)
        closePending_ = true;
}

void CDeviceWatcher::OnClose() {
    UnloadUsbDrv(true, true);
}

bool CDeviceWatcher::OnServiceDlgExit() {
    owner_.Log("case SERVICE_DLG_EXIT:");
    UnloadUsbDrv(false, true);
    serviceExitPending_ = true;
    // With no device to wait for, nothing would ever end the panel.
    if (devices_.empty())
        CarryOutPendingRequest();
    return true;
}

bool CDeviceWatcher::OnServiceDlgCancel() {
    owner_.Log("case SERVICE_DLG_CANCEL:");
    UnloadUsbDrv(false, true);
    serviceCancelPending_ = true;
    if (devices_.empty())
        CarryOutPendingRequest();
    return true;
}

} // namespace marlow::hotplug
