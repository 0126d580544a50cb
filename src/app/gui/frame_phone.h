#pragma once
// The main window's phone download: one engine for the whole window, its
// library, its port search, its timers and its presentation.

#include "app/gui/window_phone_presentation.h"
#include "phone/phone_engine.h"
#include "phone/qt_owner_thread.h"
#include "phone/qt_phone_clock.h"

#include <memory>
#include <string>

namespace marlow::gui {

class CMainFrame;

class FramePhone {
public:
    explicit FramePhone(CMainFrame& frame);
    ~FramePhone();

    // ID_PHONE_DOWN_START, or the start after a PDA download.
    void Start(phone::PhoneStart how);
    // ID_PHONE_DOWN_CANCEL.
    void Cancel();
    bool Running() const;

    phone::PhoneEngine& Engine() { return *engine_; }
    phone::QtPhoneClock& Clock() { return *clock_; }
    // Why the download library is missing; empty when it loaded.
    const std::string& LibraryProblem() const { return libraryProblem_; }

private:
    void OnTick(phone::PhoneTimer timer);

    CMainFrame& frame_;
    WindowPhonePresentation presentation_;
    std::unique_ptr<phone::PhoneLibrary> library_;
    std::string libraryProblem_;
    std::unique_ptr<phone::PhonePortSource> portSource_;
    std::unique_ptr<phone::PhonePortLocator> ports_;
    std::unique_ptr<phone::QtOwnerThread> owner_;
    std::unique_ptr<phone::QtPhoneClock> clock_;
    std::unique_ptr<phone::PhoneEngine> engine_;
};

} // namespace marlow::gui
