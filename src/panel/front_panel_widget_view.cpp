#include "panel/front_panel_widget_view.h"

#include "controls/color_ref.h"
#include "panel/front_panel_dialog.h"

namespace marlow::panel {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void FrontPanelWidgetView::Status(std::string_view text) {
    panel_.SetStatus(Latin1(text));
}

void FrontPanelWidgetView::Percent(std::string_view text) {
    panel_.SetPercent(Latin1(text));
}

void FrontPanelWidgetView::CurrentFile(std::string_view text) {
    panel_.SetCurrentFile(Latin1(text));
}

void FrontPanelWidgetView::Counter(std::string_view text) {
    panel_.SetCounter(Latin1(text));
}

void FrontPanelWidgetView::ProgressRange(int low, int high) {
    panel_.SetProgressRange(low, high);
}

void FrontPanelWidgetView::Progress(int position) {
    panel_.SetProgress(position);
}

void FrontPanelWidgetView::EnableStop() {
    panel_.EnableStop();
}

void FrontPanelWidgetView::EnableDownStart() {
    panel_.EnableDownStart();
}

void FrontPanelWidgetView::Log(std::string_view text) {
    panel_.Log(Latin1(text));
}

void FrontPanelWidgetView::ClearLog() {
    panel_.ClearLog();
}

void FrontPanelWidgetView::MessageBox(std::string_view text, std::string_view caption) {
    panel_.Message(Latin1(text), Latin1(caption));
}

void FrontPanelWidgetView::TwoLineMessage(std::string_view first, std::string_view second,
                                          std::uint32_t colour) {
    panel_.TwoLineMessage(Latin1(first), Latin1(second), controls::FromColorRef(colour));
}

// The words stay; the status line takes the verdict's colour.
void FrontPanelWidgetView::RunEnded(const RunFinished& finished) {
    panel_.SetStatus(panel_.StatusText(),
                     finished.verdict == Verdict::Passed ? StatusTone::Passed : StatusTone::Failed);
}

} // namespace marlow::panel
