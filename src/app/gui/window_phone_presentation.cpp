#include "app/gui/window_phone_presentation.h"

#include "controls/dialog_service.h"

namespace marlow::gui {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

WindowPhonePresentation::WindowPhonePresentation(MarlowContext& context, FrameSurface& surface,
                                                 PhoneRunListener& listener)
    : context_(context), surface_(surface), listener_(listener) {}

void WindowPhonePresentation::Show(phone::PhoneTarget target, std::string_view text) {
    switch (target) {
    case phone::PhoneTarget::DeviceState:
        context_.Print(context_.deviceState, text);
        break;
    case phone::PhoneTarget::DebugMessage:
        context_.Print(context_.debugMessage, text);
        break;
    default:
        // The front panel's controls: not part of the main window.
        break;
    }
    listener_.StepSeen();
}

void WindowPhonePresentation::Clear(phone::PhoneTarget target) {
    if (target == phone::PhoneTarget::DeviceState)
        context_.printer.ClearMessageWindow(context_.deviceState);
}

void WindowPhonePresentation::Progress(phone::PhoneProgress progress) {
    switch (progress.kind) {
    case phone::PhoneProgress::Kind::Shown:
        surface_.CreateDeviceStateProgress(0, 100);
        break;
    case phone::PhoneProgress::Kind::Value:
        surface_.SetDeviceStateProgress(progress.percent);
        break;
    case phone::PhoneProgress::Kind::Removed:
        surface_.CloseDeviceStateProgress();
        break;
    }
    listener_.StepSeen();
}

void WindowPhonePresentation::MessageBox(std::string_view text, std::string_view title) {
    if (!listener_.HoldMessage(Latin1(text)))
        surface_.ShowMessage(Latin1(text), Latin1(title));
}

void WindowPhonePresentation::TwoLineMessage(std::string_view first, std::string_view second,
                                             std::uint32_t) {
    surface_.ShowMessage(Latin1(first) + '\n' + Latin1(second), QString());
}

void WindowPhonePresentation::RunEnded(phone::PhoneRunEnd end) {
    listener_.RunEnded(end);
}

} // namespace marlow::gui
