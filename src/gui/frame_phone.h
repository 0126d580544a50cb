#pragma once
// The main window's phone download: one engine for the whole window, its
// library, its port search, its timers and its presentation, and the status
// bar's account of a run: its step, how long it has waited, its verdict.

#include "gui/phone_run_status.h"
#include "gui/window_phone_events.h"
#include "gui/window_run.h"
#include "handset/whole_run.h"
#include "phone/phone_engine.h"
#include "phone/qt_owner_thread.h"
#include "phone/qt_phone_clock.h"

#include <QTimer>
#include <deque>
#include <memory>
#include <string>

namespace marlow::gui {

class CMainFrame;

// A handset its PDA half handed over to its modem: its whole run (which
// hears the phone half's events and keeps the record), the phone files the
// hand-over named (a role it did not name stays empty) and the USB port path
// it left from (empty where unknown).
struct HandedOver {
    handset::WholeRun* run = nullptr;
    phone::PhoneFileSet files;
    std::string usbPortPath;
};

class FramePhone : private PhoneRunListener, public handset::PhoneHalfOwner {
public:
    explicit FramePhone(CMainFrame& frame);
    ~FramePhone() override;

    // ID_PHONE_DOWN_START: a phone-only run on the phone package of the
    // settings.
    void Start();
    // A PDA download has handed the handset over to its modem: the files
    // are the list's phone group when the list had one, else the package.
    // The phone half goes on in the handset's record. One phone download
    // at a time: a handset handed over while another's phone half runs
    // waits for its end.
    void StartAfterPdaDownload(HandedOver handedOver);
    // ID_PHONE_DOWN_CANCEL.
    void Cancel();

    // --- handset::PhoneHalfOwner: a handset's whole run asks for its phone half.
    void BeginPhoneHalf(handset::WholeRun& run, const phone::PhoneFileSet& handedOver,
                        const std::string& usbPortPath) override;
    void StopPhoneHalf(handset::WholeRun& run, const RunFinished& why) override;
    void PhoneHalfGone(handset::WholeRun& run) override;
    bool Running() const;

    phone::PhoneEngine& Engine() { return *engine_; }
    phone::QtPhoneClock& Clock() { return *clock_; }
    // Why the download library is missing; empty when it loaded.
    const std::string& LibraryProblem() const { return libraryProblem_; }

    // The status bar's clock (tests let time pass through it).
    void UseStatusClock(PhoneRunStatus::Now now) { status_.UseClock(std::move(now)); }
    // Brings the status bar up to date, as its once-a-second tick does.
    void RefreshStatus();

private:
    void OnTick(phone::PhoneTimer timer);
    // The phone is wanted: the "Phone" option, or a hand-over in progress.
    bool Selected() const;
    void Began(bool started);
    void RefuseIncompleteGroup(phone::PhoneFileRole missing);
    // The run the phone events go to from now on; one still in its phone
    // half was left by its operator.
    void FollowRun(handset::WholeRun* run);
    // The phone half did not begin: its run hears why.
    void NotBegun(const std::string& reason);
    void StartOwnRun(handset::WholeRun& run);
    void StartNextHandedOver();

    // --- PhoneRunListener
    void StepSeen() override;
    bool HoldMessage(const QString& text) override;
    void RunEnded(phone::PhoneRunEnd end) override;

    CMainFrame& frame_;
    WindowPhoneEvents events_;
    std::unique_ptr<phone::PhoneLibrary> library_;
    std::string libraryProblem_;
    std::unique_ptr<phone::PhonePortSource> portSource_;
    std::unique_ptr<phone::PhonePortLocator> ports_;
    std::unique_ptr<phone::QtOwnerThread> owner_;
    std::unique_ptr<phone::QtPhoneClock> clock_;
    std::unique_ptr<phone::PhoneEngine> engine_;

    PhoneRunStatus status_;
    QTimer statusTick_;
    // A box the engine raised during the run, shown with the verdict.
    QString heldMessage_;
    bool handOverRun_ = false;
    // The whole run whose phone half the engine serves: a handset's, or
    // the window's own phone-only run (Phone Download Start), kept here
    // with its record.
    handset::WholeRun* run_ = nullptr;
    std::unique_ptr<WindowRun> own_;
    std::deque<HandedOver> waiting_;
};

} // namespace marlow::gui
