#include "controls/blink_message_dialog.h"

#include "controls/color_ref.h"

#include <QTimerEvent>

namespace marlow::controls {

namespace {
constexpr int kBlinkMs = 500;
constexpr int kHeight = 46; // 28 dialog units
} // namespace

CBlinkMessageDlg::CBlinkMessageDlg(QWidget* parent) : MessageDialog(1, kHeight, parent) {}

QColor CBlinkMessageDlg::ShownColor() const {
    return Line(0).ForeColor();
}

void CBlinkMessageDlg::showEvent(QShowEvent* event) {
    ShowLine(0, text_, colour_);
    setAccessibleName(text_);
    SetShown(true);
    orangeNext_ = true;
    timer_.start(kBlinkMs, this);
    MessageDialog::showEvent(event);
}

void CBlinkMessageDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        Tick();
    else
        MessageDialog::timerEvent(event);
}

void CBlinkMessageDlg::Tick() {
    Line(0).SetForeColor(orangeNext_ ? FromColorRef(kColorRefOrange) : colour_);
    orangeNext_ = !orangeNext_;
}

void CBlinkMessageDlg::CloseWait() {
    timer_.stop();
    MessageDialog::CloseWait();
}

void CBlinkMessageDlg::reject() {
    timer_.stop();
    SetShown(false);
    emit detectCancel();
    MessageDialog::reject();
}

} // namespace marlow::controls
