#include "panel/flash_animation.h"

#include "controls/animation_frames.h"

#include <QPainter>

namespace marlow::panel {

FlashAnimation::FlashAnimation(QWidget* parent)
    : QWidget(parent), strip_(controls::DrawAnimationStrip()) {
    setFixedSize(kFlashFrameWidth, kFlashFrameHeight);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void FlashAnimation::ShowFrame(int frame) {
    frame_ = frame;
    show();
    raise();
    update();
}

void FlashAnimation::Clear() {
    frame_.reset();
    hide();
}

void FlashAnimation::paintEvent(QPaintEvent*) {
    if (!frame_)
        return;
    QPainter painter(this);
    const QRect source(*frame_ * kFlashFrameWidth, 0, kFlashFrameWidth, kFlashFrameHeight);
    painter.drawImage(QPoint(0, 0), strip_, source);
    painter.setPen(QColor(20, 36, 70));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace marlow::panel
