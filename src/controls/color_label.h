#pragma once
// `CColorLabel`: a text that paints itself with its own text colour, one
// background brush and its own font (bold or not, a character height in
// pixels). Each setter repaints at once.

#include <QBrush>
#include <QColor>
#include <QLabel>

namespace marlow::controls {

class CColorLabel : public QLabel {
    Q_OBJECT
public:
    explicit CColorLabel(QWidget* parent = nullptr);

    void SetCaption(const QString& text);
    void SetForeColor(const QColor& colour);
    void SetBold(bool bold);
    // The font's height in pixels, as a character height.
    void SetCharHeight(int pixels);
    // Replaces the background brush; only the last one is kept.
    void SetBackColor(const QColor& colour);

    QColor ForeColor() const { return textColour_; }
    const QBrush& BackBrush() const { return background_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ApplyFont(const QFont& font);

    QColor textColour_;
    QBrush background_;
};

} // namespace marlow::controls
