#pragma once
// The phone download as the main window shows it. The engine runs on the
// user-interface thread, so these act on the windows directly. Besides the
// texts, the window's phone run hears of every step, of the run's end, and
// may keep a box the engine raises mid-run to show it with the verdict.

#include "app/gui/frame_surface.h"
#include "app/gui/marlow_context.h"
#include "phone/phone_presentation.h"

namespace marlow::gui {

class PhoneRunListener {
public:
    virtual ~PhoneRunListener() = default;
    // The engine has handed over a text or a value: its step may have moved.
    virtual void StepSeen() = 0;
    // True when the listener keeps the box for the run's verdict.
    virtual bool HoldMessage(const QString& text) = 0;
    virtual void RunEnded(phone::PhoneRunEnd end) = 0;
};

class WindowPhonePresentation : public phone::PhonePresentation {
public:
    WindowPhonePresentation(MarlowContext& context, FrameSurface& surface,
                            PhoneRunListener& listener);

    void Show(phone::PhoneTarget target, std::string_view text) override;
    void Clear(phone::PhoneTarget target) override;
    void Progress(phone::PhoneProgress progress) override;
    void MessageBox(std::string_view text, std::string_view title) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    void RunEnded(phone::PhoneRunEnd end) override;

private:
    MarlowContext& context_;
    FrameSurface& surface_;
    PhoneRunListener& listener_;
};

} // namespace marlow::gui
