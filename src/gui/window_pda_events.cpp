#include "gui/window_pda_events.h"

#include <QMetaObject>

namespace marlow::gui {

WindowPdaEvents::WindowPdaEvents(MarlowContext& context, FrameSurface& surface, QObject& receiver)
    : context_(context), receiver_(&receiver), view_(context, surface) {}

void WindowPdaEvents::Post(const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: nothing to show
    // The hand-over state is entered before PHONE_DOWN_CMD goes out, so the
    // note is there before the handset can leave; only a completed run acts
    // on it.
    if (const auto* entered = std::get_if<pda::StateEntered>(&event);
        entered && entered->state == pda::PdaState::PHONEDOWN_STATE)
        context_.phoneHandOver.store(true);
    if (QObject* receiver = receiver_.data())
        QMetaObject::invokeMethod(
            receiver, [this, event] { Show(event); }, Qt::QueuedConnection);
}

void WindowPdaEvents::Show(const pda::PdaEvent& event) {
    if (!context_.run.Settings().frontPanelMode)
        skin_.Show(event);
    else if (panelEvents)
        panelEvents(event);
}

} // namespace marlow::gui
