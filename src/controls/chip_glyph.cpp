#include "controls/chip_glyph.h"

#include <QPainter>

namespace marlow::controls {

void DrawChipGlyph(QPainter& painter, const QRectF& body, const QPen& outline, const QColor& fill,
                   const QPen& mark) {
    const double quarter = body.width() / 4;
    painter.setPen(outline);
    painter.setBrush(fill);
    painter.drawRect(body);
    for (int pin = 0; pin < 4; ++pin) {
        const double x = body.left() + quarter / 2 + pin * quarter;
        const double y = body.top() + quarter / 2 + pin * quarter;
        painter.drawLine(QPointF(x, body.top() - quarter), QPointF(x, body.top()));
        painter.drawLine(QPointF(x, body.bottom()), QPointF(x, body.bottom() + quarter));
        painter.drawLine(QPointF(body.left() - quarter, y), QPointF(body.left(), y));
        painter.drawLine(QPointF(body.right(), y), QPointF(body.right() + quarter, y));
    }
    painter.setPen(mark);
    const double middle = body.center().y();
    painter.drawLine(QPointF(body.left() + quarter, middle),
                     QPointF(body.right() - quarter, middle));
}

} // namespace marlow::controls
