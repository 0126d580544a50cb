#include "gui/window_phone_events.h"

namespace marlow::gui {

WindowPhoneEvents::WindowPhoneEvents(MarlowContext& context, FrameSurface& surface,
                                     PhoneRunListener& listener)
    : view_(context, surface), listener_(listener) {}

void WindowPhoneEvents::Post(const phone::PhoneRunEvent& event) {
    if (recordEvents)
        recordEvents(event);
    skin_.Show(event);
    if (const std::optional<phone::PhoneRunEnd> end = ends_.Follow(event))
        listener_.RunEnded(*end);
}

void WindowPhoneEvents::Trace(app::MessageWindowId window, std::string_view text) {
    view_.Trace(window, text);
    listener_.StepSeen();
}

void WindowPhoneEvents::ClearTrace(app::MessageWindowId window) {
    view_.ClearTrace(window);
}

void WindowPhoneEvents::StatusBar(std::string_view text) {
    view_.StatusBar(text);
}

void WindowPhoneEvents::CreateProgress(int low, int high) {
    view_.CreateProgress(low, high);
    listener_.StepSeen();
}

void WindowPhoneEvents::SetProgress(int position) {
    view_.SetProgress(position);
    listener_.StepSeen();
}

void WindowPhoneEvents::CloseProgress() {
    view_.CloseProgress();
    listener_.StepSeen();
}

void WindowPhoneEvents::ShowWaitBox() {
    view_.ShowWaitBox();
}

void WindowPhoneEvents::CloseWaitBox() {
    view_.CloseWaitBox();
}

void WindowPhoneEvents::MessageBox(std::string_view text, std::string_view caption) {
    if (!listener_.HoldMessage(
            QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))))
        view_.MessageBox(text, caption);
}

} // namespace marlow::gui
