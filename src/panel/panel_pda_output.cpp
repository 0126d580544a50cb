#include "panel/panel_pda_output.h"

#include <QMetaObject>
#include <string>

namespace marlow::panel {

PanelPdaOutput::PanelPdaOutput(QObject& receiver, FrontPanelView& view, Finished finished)
    : receiver_(&receiver), view_(view), finished_(std::move(finished)) {}

void PanelPdaOutput::Post(std::function<void(FrontPanelView&)> work) {
    if (QObject* receiver = receiver_.data())
        QMetaObject::invokeMethod(
            receiver, [this, work = std::move(work)] { work(view_); }, Qt::QueuedConnection);
}

void PanelPdaOutput::PanelStatus(std::string_view text) {
    Post([shown = std::string(text)](FrontPanelView& view) { view.Status(shown); });
}

void PanelPdaOutput::PanelFileName(std::string_view text) {
    Post([shown = std::string(text)](FrontPanelView& view) { view.CurrentFile(shown); });
}

void PanelPdaOutput::PanelPercent(std::string_view text) {
    Post([shown = std::string(text)](FrontPanelView& view) { view.Percent(shown); });
}

void PanelPdaOutput::PanelCounter(std::string_view text) {
    Post([shown = std::string(text)](FrontPanelView& view) { view.Counter(shown); });
}

void PanelPdaOutput::PanelProgressRange(int low, int high) {
    Post([low, high](FrontPanelView& view) { view.ProgressRange(low, high); });
}

void PanelPdaOutput::PanelProgress(int position) {
    Post([position](FrontPanelView& view) { view.Progress(position); });
}

void PanelPdaOutput::PanelEnableClose() {
    Post([](FrontPanelView& view) { view.EnableStop(); });
}

void PanelPdaOutput::PanelEnableDownStart() {
    Post([](FrontPanelView& view) { view.EnableDownStart(); });
}

void PanelPdaOutput::PanelEventList(std::string_view text) {
    Post([shown = std::string(text)](FrontPanelView& view) { view.Log(shown); });
}

void PanelPdaOutput::MessageBox(std::string_view text, std::string_view caption) {
    Post([shown = std::string(text), title = std::string(caption)](FrontPanelView& view) {
        view.MessageBox(shown, title);
    });
}

// Only the verdict matters to the panel; its words came as texts.
void PanelPdaOutput::Progress(const pda::PdaProgressEvent& event) {
    if (event.kind != pda::PdaProgressEvent::Kind::Finished || !finished_)
        return;
    Post([this, event](FrontPanelView&) { finished_(event); });
}

} // namespace marlow::panel
