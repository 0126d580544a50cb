#include "controls/two_line_message_dialog.h"

namespace marlow::controls {

namespace {
constexpr int kHeight = 94; // 58 dialog units
} // namespace

CTwoLineMessageDlg::CTwoLineMessageDlg(QWidget* parent)
    : MessageDialog(2, kHeight, parent), background_(palette().color(QPalette::Window)) {}

void CTwoLineMessageDlg::SetTexts(const QString& first, const QString& second) {
    first_ = first;
    second_ = second;
}

void CTwoLineMessageDlg::showEvent(QShowEvent* event) {
    for (std::size_t line = 0; line < 2; ++line) {
        Line(line).SetBackColor(background_);
        ShowLine(line, line == 0 ? first_ : second_, colour_);
    }
    setAccessibleName(first_ + QLatin1Char(' ') + second_);
    SetShown(true);
    MessageDialog::showEvent(event);
}

void CTwoLineMessageDlg::reject() {
    SetShown(false);
    MessageDialog::reject();
}

} // namespace marlow::controls
