#pragma once
// The main window's PDA devices: where they come from (libusb, and the
// virtual bus when MARLOW_VIRTUAL_BUS names a socket, shared with the group
// MARLOW_VIRTUAL_BUS_GROUP names; handsets plugged in before the start are
// left alone until they are plugged in again), the device watcher
// that opens and lists them, the watcher's facts in the window's words, and
// each handset's whole run (frame_handset_runs.cpp). Sources report on
// their own threads; every event is posted to the user-interface thread, in
// order, before the watcher sees it.

#include "gui/window_pda_events.h"
#include "gui/window_run.h"
#include "handset/whole_run.h"
#include "hotplug/device_watcher.h"
#include "phone/owner_thread.h"
#include "records/handset_recording.h"
#include "usb/device_source.h"

#include <QSettings>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace marlow::gui {

class CMainFrame;

// The program's device sources, started with `events`: the virtual bus when
// MARLOW_VIRTUAL_BUS names a socket, and libusb with the PdaUsbIds setting.
// `problem` hears what the operator should read, and whether it is worth a
// message box (a virtual bus that did not start) or only a status line
// (libusb refused while no virtual bus was asked for).
std::vector<std::unique_ptr<usb::DeviceSource>>
StartDeviceSources(const QSettings& store, const std::function<usb::DeviceEvents()>& events,
                   const std::function<void(const QString& text, bool messageBox)>& problem);

class FrameDevices : public hotplug::DeviceWatcherOwner {
public:
    explicit FrameDevices(CMainFrame& frame, hotplug::WatcherTiming timing = {});
    ~FrameDevices() override;

    // Starts the device sources (libusb, and the virtual bus when asked for).
    void StartWatch();
    // No further arrivals; devices already listed stay.
    void StopWatch();
    // A source the caller made (tests, extra buses); started at once.
    Status AddSource(std::unique_ptr<usb::DeviceSource> source);

    // Command 32771: on every listed handset that is not downloading, or
    // on `onlyPath` alone.
    void OnOperationDownload(const std::string* onlyPath = nullptr);
    // The handset at `devicePath` has left after its last command: its run
    // decides what follows. True when its download passed and nothing
    // follows (the window's "Completed Downloaded!").
    bool HandsetLeft(const std::string& devicePath);
    // The record of a run, for its phone half's inputs; none once it has gone.
    records::HandsetRecording* RecordOf(const handset::WholeRun& whole);
    // WM_CLOSE: true when the frame may close now; otherwise the devices
    // have been told to leave and MAINFRM_CLOSE follows their removal.
    bool CloseRequested();
    void UnloadUsbDrv(bool close, bool unload);

    hotplug::CDeviceWatcher& Watcher() { return *watcher_; }
    WindowPdaEvents& Events() { return events_; }

    // --- hotplug::DeviceWatcherOwner
    pda::PdaRunContext& ContextFor(const std::string& devicePath) override;
    pda::PdaEventSink& SinkFor(const std::string& devicePath) override;
    bool OpensInBackground() const override { return true; }
    void PostToUi(std::function<void()> task) override;
    void PdaRunEnded(const std::string& devicePath, const pda::PdaRunOutcome& outcome) override;
    void MessageBox(std::string_view text) override;
    void Arrived(std::string_view description) override;
    void QueryRemove(std::string_view description) override;
    void HandleClosed(std::string_view description) override;
    void Connected(const std::string& devicePath) override;
    void Left(const std::string& devicePath, const Leaving& leaving) override;
    void CloseCarriedOut() override;
    void StopWatching() override;
    void ClosedAtOnce() override;

private:
    // What the window keeps of one handset, by its device path: the context
    // its arrival is shown with, and its run. Kept while the window lives,
    // as a download may still hold the run's context.
    struct Handset {
        pda::PdaRunContext context;
        std::unique_ptr<WindowRun> run;
    };
    Handset& HandsetAt(const std::string& devicePath);
    // The run downloading to the handset, or its last one; none before its
    // first download.
    WindowRun* RunAt(const std::string& devicePath);
    void StartHandset(const std::string& devicePath);
    void RetireRunOf(Handset& handset);

    usb::DeviceEvents EventsForSources();
    void Plugged(std::unique_ptr<usb::UsbTransport> transport);
    void Removed(const std::string& devicePath);
    void AlreadyAttached(const std::string& description);
    // The File Information Window.
    void FileInformation(std::string_view text);

    CMainFrame& frame_;
    // The runs' tasks: queued to the window, in order with the device news.
    std::unique_ptr<phone::OwnerThread> owner_;
    // Looked up on the download threads too (PdaRunEnded); outlives the
    // watcher, whose downloads use the contexts.
    std::mutex handsetsMutex_;
    std::map<std::string, std::unique_ptr<Handset>> handsets_;
    // Runs still in their phone half when their handset's path began another.
    std::vector<std::unique_ptr<WindowRun>> earlier_;
    WindowPdaEvents events_;
    std::unique_ptr<hotplug::CDeviceWatcher> watcher_;
    std::vector<std::unique_ptr<usb::DeviceSource>> sources_;
    bool* closeNow_ = nullptr; // set while CloseRequested asks the watcher
    bool toldAlreadyAttached_ = false;
};

} // namespace marlow::gui
