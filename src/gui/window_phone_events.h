#pragma once
// The phone download's receiver in the main window. The engine runs on the
// user-interface thread, so each event goes through the main-window skin
// into the window's widgets at once. Besides the words, the window's phone
// run hears of every step, of the run's end, and may keep a box the run
// raises to show it with the verdict.

#include "gui/window_main_view.h"
#include "phone/phone_events.h"
#include "skins/main_window_skin.h"

namespace marlow::gui {

class PhoneRunListener {
public:
    virtual ~PhoneRunListener() = default;
    // The window has shown a text or a value: the run's step may have moved.
    virtual void StepSeen() = 0;
    // True when the listener keeps the box for the run's verdict.
    virtual bool HoldMessage(const QString& text) = 0;
    virtual void RunEnded(phone::PhoneRunEnd end) = 0;
};

class WindowPhoneEvents : public phone::PhoneEventSink, private app::MainWindowView {
public:
    WindowPhoneEvents(MarlowContext& context, FrameSurface& surface, PhoneRunListener& listener);

    void Post(const phone::PhoneRunEvent& event) override;

    // Where the run's events are recorded, besides being shown.
    std::function<void(const phone::PhoneRunEvent&)> recordEvents;

private:
    // The window's view, telling the listener of each step and box.
    void Trace(app::MessageWindowId window, std::string_view text) override;
    void ClearTrace(app::MessageWindowId window) override;
    void StatusBar(std::string_view text) override;
    void CreateProgress(int low, int high) override;
    void SetProgress(int position) override;
    void CloseProgress() override;
    void ShowWaitBox() override;
    void CloseWaitBox() override;
    void MessageBox(std::string_view text, std::string_view caption) override;

    WindowMainView view_;
    PhoneRunListener& listener_;
    app::MainWindowSkin skin_{*this};
    phone::PhoneRunEnds ends_;
};

} // namespace marlow::gui
