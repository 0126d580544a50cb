#include "panel/path_label.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace marlow::panel {

void PathLabel::SetPath(const QString& path) {
    setText(path);
    setToolTip(path);
}

// The folders give way first, from their middle; a name too wide for the
// field on its own loses its start.
QString PathLabel::ShownText() const {
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width();
    const QString path = text();
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype nameStart =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
    const QString name = path.mid(nameStart);
    const int room = width - metrics.horizontalAdvance(name);
    if (nameStart == 0 || room < metrics.horizontalAdvance(QStringLiteral("/\u2026/")) * 2)
        return metrics.elidedText(path, Qt::ElideLeft, width);
    return metrics.elidedText(path.left(nameStart), Qt::ElideMiddle, room) + name;
}

// The label's own painting would draw the whole path; only its frame is kept.
void PathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), ShownText(), foregroundRole());
}

} // namespace marlow::panel
