#include "controls/marlow_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace marlow::controls {

namespace {

// Drawn on a 64-unit square, scaled to each size.
QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(29, 78, 137));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // The handset.
    p.setBrush(QColor(245, 245, 240));
    p.drawRoundedRect(QRectF(20, 10, 24, 44), 5, 5);
    p.setBrush(QColor(40, 48, 64));
    p.drawRect(QRectF(24, 16, 16, 22));
    p.drawEllipse(QPointF(32, 46), 3, 3);

    // The image going down into it.
    QPainterPath arrow;
    arrow.moveTo(29, 17);
    arrow.lineTo(35, 17);
    arrow.lineTo(35, 26);
    arrow.lineTo(39, 26);
    arrow.lineTo(32, 35);
    arrow.lineTo(25, 26);
    arrow.lineTo(29, 26);
    arrow.closeSubpath();
    p.setBrush(QColor(90, 200, 90));
    p.drawPath(arrow);
    return pixmap;
}

} // namespace

QIcon MarlowIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(Draw(size));
    return icon;
}

} // namespace marlow::controls
