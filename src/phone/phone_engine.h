#pragma once
// The phone download engine: waits for the modem's port, opens it through
// the download library, boots the modem and sends the four phone files one
// part per report "done", then ends the process. One engine per owner (the
// main window, the front panel, a command-line run); everything here runs on
// the owner's thread except ReceiveReport, which the library calls on its own.

#include "phone/owner_thread.h"
#include "phone/phone_clock.h"
#include "phone/phone_events.h"
#include "phone/phone_files.h"
#include "phone/phone_library.h"
#include "phone/phone_ports.h"
#include "phone/phone_run_policy.h"
#include "phone/phone_states.h"
#include "phone/report_mailbox.h"
#include "phone/status_text.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace marlow::phone {

enum class PhoneOwner { MainWindow, FrontPanel };

struct PhoneEngineSetup {
    PhoneOwner owner = PhoneOwner::MainWindow;
    // Unset: the owner's preset.
    std::optional<PhoneRunPolicy> policy;
    PhoneLibrary* library = nullptr;
    PhoneEventSink* events = nullptr;
    PhoneClock* clock = nullptr;
    OwnerThread* ownerThread = nullptr;
    PhonePortLocator* ports = nullptr;
    // Reports are handled only while the owner's selection includes the
    // phone (main window: the "Phone" option; front panel: a phone run).
    std::function<bool()> phoneSelected = [] { return true; };
};

enum class PhoneStart { Command, AfterPdaDownload };

class PhoneEngine : public ReportReceiver {
public:
    // Registers the report function and sets the library up.
    explicit PhoneEngine(PhoneEngineSetup setup);
    // Releases the port quietly if a run is still holding it.
    ~PhoneEngine() override;
    PhoneEngine(const PhoneEngine&) = delete;
    PhoneEngine& operator=(const PhoneEngine&) = delete;

    // --- the main window's commands
    // ID_PHONE_DOWN_START, or the start after a PDA download that handed over.
    // True when the run now waits for the port. `usbPortPath`: the USB port
    // the handset went over to its modem on, where known; the wait then takes
    // only the modem port there.
    bool StartMainWindowRun(const std::string& packagePath, PhoneStart how,
                            std::string usbPortPath = {});
    // The same with files already known (a PDA list's phone group): no
    // package is read.
    bool StartMainWindowRun(const PhoneFileSet& files, PhoneStart how,
                            std::string usbPortPath = {});
    // ID_PHONE_DOWN_CANCEL. A run not yet finished ends here, with this
    // verdict and reason; a cancel after the verdict only clears up.
    void CancelMainWindowRun(Verdict verdict = Verdict::Stopped,
                             std::string reason = "the operator cancelled the phone download");
    bool PhoneRunning() const { return running_; }

    // --- the front panel's phone run (its files are already in Files())
    void BeginPanelPortWait(std::string usbPortPath = {});
    // The same for the panel's Stop.
    void StopPanelRun(Verdict verdict = Verdict::Stopped,
                      std::string reason = "the operator stopped the phone download");

    // --- timer ticks; they act only while the owner's selection has the phone
    void OnTimer(PhoneTimer timer);
    void PollPort();
    void WatchdogTick();

    // --- reports
    // PhoneDownloadCallback: any thread; copies the report and posts it.
    void ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) override;
    // The posted message, on the owner's thread. Returns false when nothing
    // was handled (already taken, or no phone run selected).
    bool HandleReportMessage();

    // --- the state machine and its steps
    void HandlePhoneEvent(PhoneEvent event, std::string_view text);
    bool OpenPort();
    bool ClosePort();
    bool DownloadPsi();
    bool DownloadSlb();
    bool DownloadFls();
    bool DownloadEep();
    void FinishPhoneDownload();
    void FailPhoneDownload(std::string_view label, std::string_view text);
    void done_last_part();

    PhoneFileSet& Files() { return files_; }
    const TInst& Inst() const { return inst_; }
    // The port the last wait took.
    const ModemPort& Port() const { return port_; }
    int PhoneUsbWait() const { return phoneUsbWait_; }
    PhoneOwner Owner() const { return setup_.owner; }

private:
    struct PartStep {
        PhoneState state;
        PhoneFileRole role;
    };

    bool IsPanel() const { return setup_.owner == PhoneOwner::FrontPanel; }
    // The owner's policy drops this report before it reaches the run.
    bool Dropped(const PhoneReport& report) const;
    void HandleByState(PhoneEvent event, std::string_view text);
    void StartRun();
    bool BeginMainWindowRun();
    bool WaitForMainWindowPort(PhoneStart how);
    void ReBoot();
    void Boot();
    bool DownloadPart(const PartStep& step);
    void AbortRun();
    void BeginPortWait();
    void EndPortWait();
    void OnPortsChanged();
    bool CountSleptPolls();
    // False when this unsuccessful poll ends the wait.
    bool CountFailedPoll();
    void ScheduleNextPoll();
    int PollLimit() const;
    void PortFound(const ModemPort& port);
    void WriteStatusIfAny();
    void Post(const PhoneRunEvent& event) { events_.Post(event); }
    void Finish(Verdict verdict, std::string reason);
    // A stop ends the run only if nothing else has.
    void FinishIfUnfinished(Verdict verdict, std::string reason);

    PhoneEngineSetup setup_;
    const PhoneRunPolicy policy_;
    PhoneLibrary& library_;
    PhoneEventSink& events_;
    PhoneClock& clock_;

    TInst inst_;
    ModemPort port_;
    std::string handsetPort_; // the USB port the wait looks on; empty: any
    PhoneFileSet files_;
    StatusText status_;
    ControlBlock controlBlock_{};
    ReportMailbox mailbox_;
    int phoneUsbWait_ = 0;
    std::chrono::steady_clock::time_point waitStart_{};
    bool sleeping_ = false;   // the wait sleeps until the ports change or its last poll
    bool reBooted_ = false;   // this start's one automatic re-boot has been used
    bool running_ = false;    // the main window's phone running flag
    bool unfinished_ = false; // a run began and has not posted its RunFinished
    // Posted report messages check it, so none runs after the engine is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace marlow::phone
