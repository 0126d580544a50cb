#pragma once
// The main window's phone download: one engine for the whole window, its
// library, its port search, its timers and its presentation, and the status
// bar's account of a run: its step, how long it has waited, its verdict.

#include "gui/phone_run_status.h"
#include "gui/window_phone_events.h"
#include "phone/phone_engine.h"
#include "phone/qt_owner_thread.h"
#include "phone/qt_phone_clock.h"

#include <QTimer>
#include <memory>
#include <string>

namespace marlow::gui {

class CMainFrame;

class FramePhone : private PhoneRunListener {
public:
    explicit FramePhone(CMainFrame& frame);
    ~FramePhone() override;

    // ID_PHONE_DOWN_START: the phone package of the settings.
    void Start();
    // A PDA download has handed the handset over to its modem: the files
    // are the list's phone group when the list had one, else the package.
    void StartAfterPdaDownload();
    // ID_PHONE_DOWN_CANCEL.
    void Cancel();
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
};

} // namespace marlow::gui
