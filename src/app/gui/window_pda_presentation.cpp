#include "app/gui/window_pda_presentation.h"

#include "controls/dialog_service.h"

#include <QMetaObject>

namespace marlow::gui {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

WindowPdaPresentation::WindowPdaPresentation(MarlowContext& context, FrameSurface& surface,
                                             QObject& receiver)
    : context_(context), surface_(surface), receiver_(&receiver) {}

template <typename Work> void WindowPdaPresentation::Post(Work work) {
    if (QObject* receiver = receiver_.data())
        QMetaObject::invokeMethod(receiver, std::move(work), Qt::QueuedConnection);
}

void WindowPdaPresentation::DeviceStateTrace(std::string_view text) {
    context_.Print(context_.deviceState, text);
}

void WindowPdaPresentation::ClearDeviceState() {
    context_.printer.ClearMessageWindow(context_.deviceState);
}

void WindowPdaPresentation::DebugMessage(std::string_view text) {
    context_.Print(context_.debugMessage, text);
}

void WindowPdaPresentation::StatusBar(std::string_view text) {
    Post([this, shown = Latin1(text)] { surface_.SetStatusText(shown); });
}

void WindowPdaPresentation::CreateDownloadProgress(int low, int high) {
    Post([this, low, high] { surface_.CreateDeviceStateProgress(low, high); });
}

void WindowPdaPresentation::SetDownloadProgress(int position) {
    Post([this, position] { surface_.SetDeviceStateProgress(position); });
}

void WindowPdaPresentation::CloseDownloadProgress() {
    Post([this] { surface_.CloseDeviceStateProgress(); });
}

// Decided from the flag the window keeps, so the download thread never
// waits for the user-interface thread (which may itself be waiting for it).
void WindowPdaPresentation::ShowWaitDialog() {
    if (!context_.frameForeground.load())
        return;
    waitBoxActive_.store(true);
    Post([this] { surface_.ShowFlashWaitBox(); });
}

void WindowPdaPresentation::CloseWaitDialog() {
    if (!waitBoxActive_.exchange(false))
        return;
    Post([this] { surface_.CloseFlashWaitBox(); });
}

void WindowPdaPresentation::MessageBox(std::string_view text, std::string_view caption) {
    Post([this, shown = Latin1(text), title = Latin1(caption)] {
        surface_.ShowMessage(shown, title);
    });
}

// The hand-over state is entered before PHONE_DOWN_CMD goes out, so the
// note is there before the handset can leave; only a completed run acts on it.
void WindowPdaPresentation::Progress(const pda::PdaProgressEvent& event) {
    if (event.kind == pda::PdaProgressEvent::Kind::StateEntered &&
        event.state == pda::PdaState::PHONEDOWN_STATE)
        context_.phoneHandOver.store(true);
}

} // namespace marlow::gui
