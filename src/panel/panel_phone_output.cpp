#include "panel/panel_phone_output.h"

namespace marlow::panel {

using phone::PhoneTarget;

// The main window's targets have no control on the panel.
void PanelPhoneOutput::Show(PhoneTarget target, std::string_view text) {
    switch (target) {
    case PhoneTarget::StatusLine:
        return view_.Status(text);
    case PhoneTarget::LogList:
        return view_.Log(text);
    case PhoneTarget::CurrentFile:
        return view_.CurrentFile(text);
    case PhoneTarget::PercentLabel:
        return view_.Percent(text);
    case PhoneTarget::DeviceState:
    case PhoneTarget::DebugMessage:
        return;
    }
}

void PanelPhoneOutput::Clear(PhoneTarget target) {
    if (target == PhoneTarget::LogList)
        view_.ClearLog();
}

void PanelPhoneOutput::Progress(phone::PhoneProgress progress) {
    if (progress.kind == phone::PhoneProgress::Kind::Value)
        view_.Progress(progress.percent);
}

void PanelPhoneOutput::MessageBox(std::string_view text, std::string_view title) {
    view_.MessageBox(text, title);
}

void PanelPhoneOutput::TwoLineMessage(std::string_view first, std::string_view second,
                                      std::uint32_t colour) {
    view_.TwoLineMessage(first, second, colour);
}

void PanelPhoneOutput::RunEnded(phone::PhoneRunEnd end) {
    if (ended_)
        ended_(end);
}

} // namespace marlow::panel
