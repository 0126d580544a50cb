#include "gui/window_main_view.h"

namespace marlow::gui {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

MessageText& WindowMainView::Window(app::MessageWindowId window) {
    return window == app::MessageWindowId::DeviceState ? context_.deviceState
                                                       : context_.debugMessage;
}

void WindowMainView::Trace(app::MessageWindowId window, std::string_view text) {
    context_.Print(Window(window), text);
}

void WindowMainView::ClearTrace(app::MessageWindowId window) {
    context_.printer.ClearMessageWindow(Window(window));
}

void WindowMainView::StatusBar(std::string_view text) {
    surface_.SetStatusText(Latin1(text));
}

void WindowMainView::CreateProgress(int low, int high) {
    surface_.CreateDeviceStateProgress(low, high);
}

void WindowMainView::SetProgress(int position) {
    surface_.SetDeviceStateProgress(position);
}

void WindowMainView::CloseProgress() {
    surface_.CloseDeviceStateProgress();
}

void WindowMainView::ShowWaitBox() {
    if (!context_.frameForeground.load())
        return;
    waitBoxActive_ = true;
    surface_.ShowFlashWaitBox();
}

void WindowMainView::CloseWaitBox() {
    if (!waitBoxActive_)
        return;
    waitBoxActive_ = false;
    surface_.CloseFlashWaitBox();
}

void WindowMainView::MessageBox(std::string_view text, std::string_view caption) {
    surface_.ShowMessage(Latin1(text), Latin1(caption));
}

} // namespace marlow::gui
