#include "panel/panel_pda_output.h"

#include <QMetaObject>

namespace marlow::panel {

PanelPdaOutput::PanelPdaOutput(QObject& receiver, FrontPanelView& view, Finished finished)
    : receiver_(&receiver), skin_(view), finished_(std::move(finished)) {}

void PanelPdaOutput::Post(const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: nothing to show
    QObject* receiver = receiver_.data();
    if (receiver == nullptr)
        return;
    QMetaObject::invokeMethod(
        receiver,
        [this, event] {
            skin_.Show(event);
            if (const auto* finished = std::get_if<RunFinished>(&event); finished && finished_)
                finished_(*finished);
        },
        Qt::QueuedConnection);
}

} // namespace marlow::panel
