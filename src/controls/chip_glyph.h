#pragma once
// The chip with four pins a side that stands for the UART loader wherever
// the program offers it (the main window's toolbar, the panel's MP Tool Set).

#include <QColor>
#include <QPen>
#include <QRectF>

class QPainter;

namespace marlow::controls {

// `body` is the chip without its pins; the pins reach a quarter of its width
// out. `outline` draws body and pins, `mark` the bar across the middle.
void DrawChipGlyph(QPainter& painter, const QRectF& body, const QPen& outline, const QColor& fill,
                   const QPen& mark);

} // namespace marlow::controls
