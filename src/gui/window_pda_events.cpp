#include "gui/window_pda_events.h"

#include <QMetaObject>

namespace marlow::gui {

WindowPdaEvents::WindowPdaEvents(MarlowContext& context, FrameSurface& surface, QObject& receiver)
    : context_(context), receiver_(&receiver), view_(context, surface) {}

void WindowPdaEvents::Post(const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: nothing to show
    if (QObject* receiver = receiver_.data())
        QMetaObject::invokeMethod(
            receiver, [this, event] { Show(event); }, Qt::QueuedConnection);
}

void WindowPdaEvents::Show(const pda::PdaEvent& event) {
    if (!context_.run.Settings().frontPanelMode) {
        if (recordEvents)
            recordEvents(event);
        skin_.Show(event);
    } else if (panelEvents)
        panelEvents(event);
}

} // namespace marlow::gui
