#pragma once
// The front panel's runs: what Down Start, Stop and the close request do,
// the wait for the PDA device (the blinking "USB Connecting..." box and its
// 31 one-second ticks), the displays of each part and the run's record.
//
// Each handset's run is a handset::WholeRun: made as its boot loader
// arrives (it opens it and shows it connected, then waits for Down Start),
// or at a phone-only Down Start. The panel lends it its phone engine, tells
// it facts only (Go, the boot loader's removal, Abandon for Stop and close)
// and hears its one event stream, which the two output adapters turn into
// the panel's controls and the record is kept from. What follows the PDA
// part is the run's decision; the panel says it in its own words.
// One run at a time: while one (or its stop) is under way Down Start is not
// taken, and a handset that arrives waits for the next Down Start without
// showing. A handset that leaves ends its run at once, in every part: the
// PDA part hears its boot loader's removal; the phone part watches the
// modem's port, and a boot loader that arrives while the phone part has no
// modem port means its handset is gone.
//
// The panel holds one phone file set (its phone engine's): a phone package
// read for a phone run fills it, and so does a list's phone group. A Total
// run whose list has no phone group flashes the set held, but only when it
// is the package the station has chosen: the files of an earlier list are
// not this handset's.
//
// User-interface thread only.

#include "handset/handset_run.h"
#include "handset/whole_run.h"
#include "panel/panel_clock.h"
#include "panel/panel_pda_output.h"
#include "panel/panel_phone_clock.h"
#include "panel/panel_phone_output.h"
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
    // The handset as the panel shows it: its connected and flash-write flags.
    pda::PdaRunContext* context = nullptr;
    handset::HandsetRun* handset = nullptr; // the run flags the panel shows
    phone::PhoneLibrary* library = nullptr;
    phone::PhonePortLocator* ports = nullptr;
    // The phone engine's settling pauses; unset: they block for their time.
    std::function<void(std::chrono::milliseconds)> pause;
    // The panel stops listening for devices (a close or exit has released them).
    std::function<void()> stopWatch;
    // Why the modem download library did not load; empty when it did. A
    // run with a phone part is then refused at Down Start with this reason.
    std::string phoneLibraryProblem;
    // Each run's record, one a handset; unset: runs are not recorded.
    records::RunRecordStart records;
};

class PanelRun : public QObject {
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
    // SERVICE_DLG_EXIT: false when the devices could not be released.
    bool ReleaseForExit();
    // A run, or its stop, is under way.
    bool RunLive() const;

    phone::PhoneEngine& PhoneEngine() { return phone_.Engine(); }
    int UsbWaitTicks() const { return usbTicks_; }

private:
    // One handset's run and what the panel knows of it; the run's events
    // reach the panel through it, so that it knows whose they are.
    struct Handset final : handset::HandsetEventSink {
        Handset(PanelRun& panel, std::string devicePath, std::string slot)
            : panel(panel), devicePath(std::move(devicePath)), slot(std::move(slot)) {}
        void Post(const handset::HandsetEvent& event) override { panel.Heard(*this, event); }
        PanelRun& panel;
        const std::string devicePath; // the boot loader's; empty for a phone-only run
        const std::string slot;
        std::unique_ptr<handset::WholeRun> run;
        bool onBus = true; // its boot loader has not left
        bool connected = false;
        bool started = false;            // Down Start took it
        std::optional<Verdict> pdaEnded; // its PDA part's own end
        std::optional<RunFinished> finished;
    };
    std::unique_ptr<Handset> MakeHandset(std::string devicePath, std::string slot,
                                         handset::WholeRunSetup setup);

    void PdaStart();
    void BeginUsbWait();
    void EndUsbWait();
    void OnUsbWaitTick();
    void OnDetectCancel();
    void OnDeviceArrivedMessage(); // WM_PANEL_DEVICE_ARRIVED
    void StartPhoneOnly();
    bool RefusesStart(int selection);
    bool PhoneLibraryMissing(); // and says so
    void OnTick(PanelTimer timer);

    // --- the run's events (panel_run_events.cpp)
    void Heard(Handset& handset, const handset::HandsetEvent& event);
    void HeardHeld(Handset& handset, const handset::HandsetEvent& event);
    void WordStep(hotplug::WatcherStep step);
    bool OnPdaEvent(Handset& handset, const pda::PdaEvent& event);
    void OnPhoneEvent(const phone::PhoneRunEvent& event);
    void OnPhoneEnded(phone::PhoneRunEnd end);
    void BeginPhonePart(); // OnComplete's phone part
    void OnRunFinished(Handset& handset, const handset::RunFinished& whole);
    // WM_PDA_DOWNLOAD_DONE (0, 1): a PDA-only run's handset has gone.
    void OnComplete();
    void HandsetLeft(Handset& handset);
    void AllDone(); // g_AllDownLoad TRUE, m_DownSelect 0

    // --- the run's record (panel_run_records.cpp)
    bool RecordingRefusesStart();
    void BeginRecord(int selection);
    // The panel ends the run by a decision of its own, which no event tells.
    void EndRecord(records::RecordVerdict verdict, records::ErrorClass errorClass,
                   records::Half half, std::string reason = {});
    void ShowRecorded(const std::string& runId, const QString& notRecorded);
    void ShowHeldRecords();

    // --- the handset leaving the phone part (panel_run_devices.cpp)
    void WatchModemPort();
    void StopWatchingModemPort();
    void OnModemPortsChanged();
    bool ModemPortGone();
    void EndPhonePartRemoved();
    void Log(std::string_view text);

    CFrontPanelDlg& panel_;
    app::CAppSettings& settings_;
    PanelRunSetup setup_;
    pda::PdaRunContext& context_;
    handset::HandsetRun& handset_;
    PanelPdaOutput pdaOutput_;
    PanelPhoneOutput phoneOutput_;
    PanelPhoneClock phoneClock_;
    phone::QtOwnerThread ownerThread_;
    handset::RunPhoneEngine phone_;
    // The handset on show (or last shown), and one that waits for the next
    // Down Start.
    std::unique_ptr<Handset> live_;
    std::unique_ptr<Handset> held_;
    phone::PhoneRunEnds phoneEnds_;
    std::optional<phone::PhoneRunEnd> phoneEnd_; // the phone part's, as the engine told it
    int usbTicks_ = 0;
    int selection_ = 0; // the last Down Start's
    // Stop or close asked during a PDA run; the handset is being released.
    bool stopping_ = false;
    bool exiting_ = false;
    // The phone part is the run's (a hand-over, or a phone-only start).
    bool phonePart_ = false;
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
};

} // namespace marlow::panel
