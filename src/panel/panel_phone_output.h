#pragma once
// The panel's phone engine's words, each to its control through
// FrontPanelView; the run's end goes to the panel's run. The engine calls
// on the user-interface thread, so nothing is posted here.

#include "panel/front_panel_view.h"
#include "phone/phone_presentation.h"

#include <functional>

namespace marlow::panel {

class PanelPhoneOutput : public phone::PhonePresentation {
public:
    using Ended = std::function<void(phone::PhoneRunEnd)>;

    PanelPhoneOutput(FrontPanelView& view, Ended ended) : view_(view), ended_(std::move(ended)) {}

    void Show(phone::PhoneTarget target, std::string_view text) override;
    void Clear(phone::PhoneTarget target) override;
    void Progress(phone::PhoneProgress progress) override;
    void MessageBox(std::string_view text, std::string_view title) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    void RunEnded(phone::PhoneRunEnd end) override;

private:
    FrontPanelView& view_;
    Ended ended_;
};

} // namespace marlow::panel
