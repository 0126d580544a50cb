#pragma once
// The phone download as the main window shows it. The engine runs on the
// user-interface thread, so these act on the windows directly.

#include "app/gui/frame_surface.h"
#include "app/gui/marlow_context.h"
#include "phone/phone_presentation.h"

#include <functional>

namespace marlow::gui {

class WindowPhonePresentation : public phone::PhonePresentation {
public:
    WindowPhonePresentation(MarlowContext& context, FrameSurface& surface);

    void Show(phone::PhoneTarget target, std::string_view text) override;
    void Clear(phone::PhoneTarget target) override;
    void Progress(phone::PhoneProgress progress) override;
    void MessageBox(std::string_view text, std::string_view title) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    void RunEnded(phone::PhoneRunEnd end) override;

    // The phone running flag may have changed: the toolbar follows it.
    std::function<void()> runStateChanged;

private:
    MarlowContext& context_;
    FrameSurface& surface_;
};

} // namespace marlow::gui
