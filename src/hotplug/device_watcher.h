#pragma once
// CDeviceWatcher: turns PDA boot-loader arrivals and removals into the life
// of CUsbPipe objects and of the download threads on them, and tells its
// owner the facts: a device arrived, opened, left (and how far its download
// had come), and that a release the owner asked for (its close, the front
// panel's exit or Stop) is done. It serves every front end alike; what a
// fact means (a download to start, a line to show, what follows a download
// that passed) is its owner's.
//
// All calls come on the owner's thread (the UI thread, or the CLI's main
// loop); device sources report on their own threads and the owner hands the
// events over. The watcher never shows anything itself: it tells its owner.
// A window's owner has its devices opened on a thread of their own, so that
// a handset that does not open never holds the window for its attempts.

#include "pda/pda_download.h"
#include "pda/pda_events.h"
#include "pda/pda_run_context.h"
#include "usb/usb_pipe.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace marlow::hotplug {

// The watcher's steps as the front panel's log follows them, and the one box
// it shows: facts its owner hears in the order they happen, to word or keep.
enum class WatcherStep {
    NoDescription,      // box: the device did not say what it is
    RemoveComplete,     // a device's removal is heard
    UnloadAfterRemoval, // an unexpected removal releases the device that left
    UnloadBegun,        // the release of the devices begins
    UnloadCommand,      // a device is told to leave (USB_UNLOAD_CMD)
    UnloadEnded,        // the release has stopped what it was to stop
    ServiceExit,        // the front panel's exit request
    ServiceCancel,      // the front panel's Stop
};

// The handset documentation's wording: the box's text, or the log line.
std::string_view WatcherStepText(WatcherStep step);

class DeviceWatcherOwner {
public:
    virtual ~DeviceWatcherOwner() = default;

    // The run context and event sink a device downloads with: one pair for
    // the whole program in the GUI, one per handset in the CLI. The sink
    // also hears of the device's connection.
    virtual pda::PdaRunContext& ContextFor(const std::string& devicePath) = 0;
    virtual pda::PdaEventSink& SinkFor(const std::string& devicePath) = 0;

    // Where a device is opened. An owner whose thread must stay free (a
    // window) says true: the open then runs on a thread of its own, which
    // hands its result to PostToUi; the task must run on the owner's thread,
    // in order with the device news. Otherwise the arrival call opens the
    // device itself: the CLI's loop has nothing else to serve meanwhile, and
    // its stop and --timeout reach the open through the retry policy.
    virtual bool OpensInBackground() const { return false; }
    virtual void PostToUi(std::function<void()> /*task*/) {}

    // Each of the watcher's steps, on the owner's thread. By default worded
    // as ever: the box through MessageBox, the log lines through Log.
    virtual void Step(WatcherStep step);
    virtual void MessageBox(std::string_view /*text*/) {}
    virtual void Log(std::string_view /*text*/) {}

    // A device's news, named by its description: it arrived, its removal is
    // asked, its handle was closed on removal. An owner that keeps a File
    // Information window words them there.
    virtual void Arrived(std::string_view /*description*/) {}
    virtual void QueryRemove(std::string_view /*description*/) {}
    virtual void HandleClosed(std::string_view /*description*/) {}

    // ReportConnected: the device opened and is listed. What follows is the
    // owner's: download to it at once (the download command, 32771), or
    // show it connected until its operator asks.
    virtual void Connected(const std::string& /*devicePath*/) {}

    // On the download thread, as a device's run ends (its last event is out).
    virtual void PdaRunEnded(const std::string& /*devicePath*/,
                             const pda::PdaRunOutcome& /*outcome*/) {}

    // A listed device left without a release of the owner's under way: how
    // far its download had come (its last command went out; its run
    // passed, or handed over). What that means is the owner's.
    struct Leaving {
        std::string_view description{};
        bool completed = false;
        bool passed = false;
    };
    virtual void Left(const std::string& /*devicePath*/, const Leaving& /*leaving*/) {}

    // The owner's own requests carried out once their devices have gone:
    // OnServiceDlgCancel, OnServiceDlgExit, OnClose (MAINFRM_CLOSE). Before
    // an exit or a close is carried out the owner stops watching the bus.
    virtual void CancelCarriedOut() {}
    virtual void ExitCarriedOut() {}
    virtual void CloseCarriedOut() {}
    virtual void StopWatching() {}
    // A close with no device to release: it is carried out at once.
    virtual void ClosedAtOnce() {}
};

struct WatcherTiming {
    // How long a stopping download thread is given to end before it is
    // joined all the same (the historic 200 ms + 3 x 100 ms looks). A wait
    // on the thread's end, so a thread that ends at once costs nothing.
    std::chrono::milliseconds stopGrace{500};
    // How OpenPipe retries a device that does not open at once.
    usb::OpenRetryPolicy openRetry;
};

class CDeviceWatcher {
public:
    explicit CDeviceWatcher(DeviceWatcherOwner& owner, WatcherTiming timing = {});
    // Stops every download and releases every pipe, sending nothing.
    ~CDeviceWatcher();
    CDeviceWatcher(const CDeviceWatcher&) = delete;
    CDeviceWatcher& operator=(const CDeviceWatcher&) = delete;

    // A boot loader arrived: list it, open it (up to 30 attempts), report it.
    // With an owner that opens in background, the call returns at once and
    // the device is listed and reported once it has opened; a removal, a
    // release or the watcher's end meanwhile stops its open, and nothing more
    // is told of it.
    bool OnDeviceArrival(std::unique_ptr<usb::UsbTransport> transport);
    bool OnDeviceQueryRemove(const std::string& devicePath);
    bool OnDeviceRemoveComplete(const std::string& devicePath);

    // Starts a download thread on every listed pipe that is idle, in list
    // order; false at the first that fails. `onlyPath` limits it to one device.
    bool StartPdaDownloads(const std::string* onlyPath = nullptr);

    // Releases the listed devices: stops their downloads and, with
    // `unload`, tells each boot loader USB_UNLOAD_CMD. With `close` the frame
    // closes at once when no device is listed, else once the devices have
    // gone. `onlyPath` limits it to one device. `cause` goes with the stop
    // request, so each run's verdict says why it ended.
    void UnloadUsbDrv(bool close, bool unload, const std::string* onlyPath = nullptr,
                      usb::StopCause cause = usb::StopCause::Operator);

    // The main frame's requests.
    void OnClose(usb::StopCause cause = usb::StopCause::Operator); // WM_CLOSE, exit command
    bool OnServiceDlgExit();                                       // SERVICE_DLG_EXIT
    bool OnServiceDlgCancel(usb::StopCause cause = usb::StopCause::Operator); // SERVICE_DLG_CANCEL

    bool ClosePending() const { return closePending_; }
    bool ServiceExitPending() const { return serviceExitPending_; }
    bool ServiceCancelPending() const { return serviceCancelPending_; }

    std::size_t DeviceCount() const { return devices_.size(); }
    std::vector<std::string> DevicePaths() const;
    usb::CUsbPipe* FindPipe(const std::string& devicePath) const;
    // Whether a download runs on the device's pipe; and a wait for it to end
    // by itself (no stop is asked for).
    bool DownloadRunning(const std::string& devicePath) const;
    void JoinDownload(const std::string& devicePath);

private:
    struct Device {
        std::unique_ptr<usb::CUsbPipe> pipe;
        std::string path;
        std::string description;
        bool handleRegistered = false;
        // The device's download; its outcome is read once it has ended.
        std::unique_ptr<pda::PdaDownloadThread> run;
        std::optional<pda::PdaRunOutcome> outcome;
        // The open in background, and what tells its result from that of an
        // earlier device on the same path.
        std::jthread opening;
        std::uint64_t openSerial = 0;
    };

    void OpenInBackground(std::unique_ptr<Device> device);
    void OpenEnded(std::uint64_t serial, bool opened);
    // Stops the opens in background (of one path, or all) and forgets them.
    void DropOpening(const std::string* onlyPath, usb::StopCause cause);
    void Connected(Device& device);
    void ReportConnected(Device& device);
    void StopDownload(Device& device, usb::StopCause cause);
    void CarryOutPendingRequest();
    std::vector<std::unique_ptr<Device>>::iterator Find(const std::string& devicePath);

    DeviceWatcherOwner& owner_;
    WatcherTiming timing_;
    std::vector<std::unique_ptr<Device>> devices_; // arrival order, opened
    std::vector<std::unique_ptr<Device>> opening_; // still opening in background
    std::uint64_t openSerial_ = 0;
    // A result posted to the owner's thread after the watcher has gone is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool closePending_ = false;
    bool serviceExitPending_ = false;
    bool serviceCancelPending_ = false;
};

} // namespace marlow::hotplug
