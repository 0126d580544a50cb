#include "panel/panel_pda_output.h"

#include <QMetaObject>

namespace marlow::panel {

PanelPdaOutput::PanelPdaOutput(QObject& receiver, FrontPanelView& view, Heard heard)
    : receiver_(&receiver), skin_(view), heard_(std::move(heard)) {}

void PanelPdaOutput::Post(const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: nothing to show
    QObject* receiver = receiver_.data();
    if (receiver == nullptr)
        return;
    QMetaObject::invokeMethod(
        receiver,
        [this, event] {
            if (!heard_ || heard_(event))
                skin_.Show(event);
        },
        Qt::QueuedConnection);
}

} // namespace marlow::panel
