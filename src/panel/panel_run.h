#pragma once
// The front panel's runs: what Down Start, Stop and the close request do,
// the wait for the PDA device (the blinking "USB Connecting..." box and its
// 31 one-second ticks), the PDA download on the connected handsets, the
// completion that chains the phone part of a Total run, the phone port wait
// (the engine's 10 ms polls on the panel's timer 1) and the phone download.
//
// The run owns the device watcher in front-panel mode and is its owner: the
// program's device sources hand it arrivals and removals on the
// user-interface thread, and the watcher's decisions (connected, completed,
// disconnected, aborted, the panel's end) come back here. The engines speak
// to the panel through the two output adapters; this class speaks to the
// panel's displays, its dialogs and the engines' start and stop calls.
// One run at a time: while one (or its stop) is under way Down Start is not
// taken, and a handset that arrives starts nothing. A handset that leaves
// ends its run at once, in every part: the PDA part hears it from the
// watcher; the phone part watches the modem's port, and a boot loader that
// arrives while the phone part has no modem port means its handset is gone.
//
// The panel holds one phone file set: a phone package read for a phone run
// fills it, and so does a list's phone group. A Total run whose list has no
// phone group flashes the set held, but only when it is the package the
// station has chosen: the files of an earlier list are not this handset's.
//
// User-interface thread only.

#include "handset/handset_run.h"
#include "hotplug/device_watcher.h"
#include "panel/panel_clock.h"
#include "panel/panel_pda_output.h"
#include "panel/panel_phone_clock.h"
#include "panel/panel_phone_output.h"
#include "phone/phone_engine.h"
#include "phone/qt_owner_thread.h"
#include "records/handset_recording.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marlow::app {
class CAppSettings;
}

namespace marlow::panel {

class CFrontPanelDlg;

// The USB wait gives up on this tick.
inline constexpr int kUsbWaitTicks = 31;

struct PanelRunSetup {
    pda::PdaRunContext* context = nullptr;  // the panel's flash-write flag points here
    handset::HandsetRun* handset = nullptr; // and its run flags here
    phone::PhoneLibrary* library = nullptr;
    phone::PhonePortLocator* ports = nullptr;
    // The phone engine's settling pauses; unset: they block for their time.
    std::function<void(std::chrono::milliseconds)> pause;
    hotplug::WatcherTiming timing;
    // The watcher stops listening for devices (a close or exit has released them).
    std::function<void()> stopWatch;
    // Why the modem download library did not load; empty when it did. A
    // phone part then ends at once with this reason on show.
    std::string phoneLibraryProblem;
    // Each run's record, one a handset; unset: runs are not recorded.
    records::RunRecordStart records;
};

class PanelRun : public QObject, private hotplug::DeviceWatcherOwner {
    Q_OBJECT
public:
    PanelRun(CFrontPanelDlg& panel, app::CAppSettings& settings, PanelRunSetup setup);
    ~PanelRun() override;

    // --- device news, on the user-interface thread
    void DeviceArrived(std::unique_ptr<usb::UsbTransport> transport);
    void DeviceRemoved(const std::string& devicePath);

    // --- the panel's handlers
    void OnButtonDownstart();
    void OnButtonCancel();
    // WM_PDA_DOWNLOAD_DONE (0, 1): a completed handset has gone.
    void OnComplete();
    // SERVICE_DLG_EXIT: false when the devices could not be released.
    bool ReleaseForExit();
    // A run, or its stop, is under way.
    bool RunLive() const;

    hotplug::CDeviceWatcher& Watcher() { return *watcher_; }
    phone::PhoneEngine& PhoneEngine() { return *engine_; }
    int UsbWaitTicks() const { return usbTicks_; }

private:
    bool PhoneRunSelected() const { return handset_.PhoneHalfSelected(); }
    void PdaStart();
    void BeginUsbWait();
    void EndUsbWait();
    void OnUsbWaitTick();
    void OnDetectCancel();
    void OnDeviceArrivedMessage(); // WM_PANEL_DEVICE_ARRIVED
    void StartPhoneOnly();
    bool RefusesStart(int selection);
    bool PhoneLibraryMissing(); // and says so
    void BeginPhonePart();
    void OnTick(PanelTimer timer);
    bool OnPdaEvent(const pda::PdaEvent& event);
    void OnPdaFinished(const RunFinished& finished);
    void OnPdaHalfEnded(const pda::PdaRunOutcome& outcome);
    void OnPhoneEvent(const phone::PhoneRunEvent& event);
    void OnPhoneEnded(phone::PhoneRunEnd end);
    void SyncRunSettings();
    void AllDone(); // g_AllDownLoad TRUE, m_DownSelect 0

    // --- the run's record (panel_run_records.cpp)
    bool RecordingRefusesStart();
    void BeginRecord(int selection);
    // The panel ends the run by a decision of its own, which no event tells.
    void EndRecord(records::RecordVerdict verdict, records::ErrorClass errorClass,
                   records::Half half, std::string reason = {});
    void ShowRecorded(const std::string& runId, const QString& notRecorded);
    void ShowHeldRecords();

    // --- the handset leaving the phone part
    void WatchModemPort();
    void StopWatchingModemPort();
    void OnModemPortsChanged();
    bool ModemPortGone();
    void EndPhonePartRemoved();
    // Red "Device Disconnected!": the run is over with its handset.
    void ShowPhonePartRemoved();

    // --- hotplug::DeviceWatcherOwner
    pda::PdaRunContext& ContextFor(const std::string&) override { return context_; }
    pda::PdaEventSink& SinkFor(const std::string&) override { return pdaOutput_; }
    bool OpensInBackground() const override { return true; }
    void PostToUi(std::function<void()> task) override;
    void MessageBox(std::string_view text) override;
    void Log(std::string_view text) override;
    void PanelDeviceArrived() override;
    void PdaRunEnded(const std::string& devicePath, const pda::PdaRunOutcome& outcome) override;
    void PdaDownloadDone(bool mainWindowMode) override;
    void PanelDisconnectedDisplay() override;
    void PanelAbortedDisplay() override;
    void EndFrontPanel() override;
    void CancelInterfaceNotification() override;

    CFrontPanelDlg& panel_;
    app::CAppSettings& settings_;
    PanelRunSetup setup_;
    pda::PdaRunContext& context_;
    handset::HandsetRun& handset_;
    PanelPdaOutput pdaOutput_;
    PanelPhoneOutput phoneOutput_;
    PanelPhoneClock phoneClock_;
    phone::QtOwnerThread ownerThread_;
    std::unique_ptr<phone::PhoneEngine> engine_;
    std::unique_ptr<hotplug::CDeviceWatcher> watcher_;
    phone::PhoneRunEnds phoneEnds_;
    int usbTicks_ = 0;
    // Stop or close asked during a PDA run; the handset is being released.
    bool stopping_ = false;
    // The phone part found its port (and watches it while the locator can).
    bool portTaken_ = false;
    bool watchingPort_ = false;
    // The red message on show is the USB wait's.
    bool usbWaitTimedOut_ = false;
    // The phone package the held phone files were read from, as it was
    // then; unset when they came from a list or from nowhere.
    struct HeldPackage {
        std::string path;
        std::optional<std::filesystem::file_time_type> modified;
    };
    std::optional<HeldPackage> heldPackage_;
    records::HandsetRecording recording_;
    // What the panel says of a record while its handset is still on the
    // bus: said once the handset has gone, after the words of its leaving.
    std::vector<std::function<void()>> heldRecords_;
    // The handset has gone after a download that passed; OnComplete follows.
    bool completionPending_ = false;
    // The USB port path (or the bus's device path) of the last handset to
    // arrive: the slot of the PDA download that starts on it.
    std::string arrivedSlot_;
};

} // namespace marlow::panel
