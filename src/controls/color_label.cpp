#include "controls/color_label.h"

#include <QPainter>

namespace marlow::controls {

// The system's own colours until the owner sets others: window text on the
// button face.
CColorLabel::CColorLabel(QWidget* parent)
    : QLabel(parent), textColour_(palette().color(QPalette::WindowText)),
      background_(palette().button()) {}

void CColorLabel::SetCaption(const QString& text) {
    setText(text);
}

void CColorLabel::SetForeColor(const QColor& colour) {
    textColour_ = colour;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, colour);
    setPalette(colours);
    repaint();
}

void CColorLabel::SetBold(bool bold) {
    QFont shown = font();
    shown.setBold(bold);
    ApplyFont(shown);
}

void CColorLabel::SetCharHeight(int pixels) {
    QFont shown = font();
    shown.setPixelSize(pixels);
    ApplyFont(shown);
}

void CColorLabel::SetBackColor(const QColor& colour) {
    background_ = QBrush(colour);
    repaint();
}

void CColorLabel::ApplyFont(const QFont& font) {
    setFont(font);
    repaint();
}

void CColorLabel::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(rect(), background_);
    }
    QLabel::paintEvent(event);
}

} // namespace marlow::controls
