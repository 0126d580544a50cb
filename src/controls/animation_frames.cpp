#include "controls/animation_frames.h"

#include <QLinearGradient>
#include <QPainter>

namespace marlow::controls {

namespace {

// A handset on the left, a chip on the right and a packet travelling between
// them: frame n shows the packet n eighths of the way across.
void DrawFrame(QPainter& painter, int frame) {
    const QRect area(0, 0, kAnimationFrameWidth, kAnimationFrameHeight);
    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, QColor(236, 242, 250));
    sky.setColorAt(1, QColor(200, 214, 232));
    painter.fillRect(area, sky);

    painter.setPen(QPen(QColor(40, 60, 90), 2));
    painter.setBrush(QColor(70, 100, 150));
    painter.drawRoundedRect(QRect(14, 8, 30, 49), 5, 5);
    painter.setBrush(QColor(180, 220, 255));
    painter.drawRect(QRect(19, 14, 20, 26));

    painter.setBrush(QColor(60, 60, 60));
    painter.drawRect(QRect(290, 17, 36, 31));
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    for (int pin = 0; pin < 4; ++pin) {
        const int y = 21 + pin * 7;
        painter.drawLine(286, y, 290, y);
        painter.drawLine(326, y, 330, y);
    }

    painter.setPen(QPen(QColor(120, 140, 170), 1, Qt::DashLine));
    painter.drawLine(52, 32, 282, 32);

    const int travel = 282 - 52 - 22;
    const int x = 52 + travel * frame / (kAnimationFrameCount - 1);
    painter.setPen(QPen(QColor(200, 90, 0), 2));
    painter.setBrush(QColor(255, 150, 40));
    painter.drawRect(QRect(x, 24, 22, 16));
}

} // namespace

QImage DrawAnimationStrip() {
    QImage strip(kAnimationFrameWidth * kAnimationFrameCount, kAnimationFrameHeight,
                 QImage::Format_RGB32);
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int frame = 0; frame < kAnimationFrameCount; ++frame) {
        painter.save();
        painter.translate(frame * kAnimationFrameWidth, 0);
        DrawFrame(painter, frame);
        painter.restore();
    }
    return strip;
}

} // namespace marlow::controls
