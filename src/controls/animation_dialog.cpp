#include "controls/animation_dialog.h"

#include "controls/animation_frames.h"

#include <QPainter>
#include <QTimerEvent>

namespace marlow::controls {

namespace {
constexpr int kTickMs = 500;
constexpr int kMargin = 3;
} // namespace

CAnimationDlg::CAnimationDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), strip_(DrawAnimationStrip()) {
    setModal(false);
    // A status picture: the operator's focus stays where it was.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setFixedSize(kAnimationFrameWidth + 2 * kMargin, kAnimationFrameHeight + 2 * kMargin);
}

void CAnimationDlg::showEvent(QShowEvent* event) {
    frame_ = 0;
    shownFrame_ = -1;
    timer_.start(kTickMs, this);
    QDialog::showEvent(event);
}

void CAnimationDlg::hideEvent(QHideEvent* event) {
    timer_.stop();
    QDialog::hideEvent(event);
}

void CAnimationDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        Tick();
    else
        QDialog::timerEvent(event);
}

void CAnimationDlg::Tick() {
    shownFrame_ = frame_;
    frame_ = (frame_ + 1) % kAnimationFrameCount;
    update();
}

void CAnimationDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (shownFrame_ < 0)
        return;
    const QRect source(shownFrame_ * kAnimationFrameWidth, 0, kAnimationFrameWidth,
                       kAnimationFrameHeight);
    painter.drawImage(QPoint(kMargin, kMargin), strip_, source);
}

} // namespace marlow::controls
