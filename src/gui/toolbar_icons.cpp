#include "gui/toolbar_icons.h"

#include "controls/chip_glyph.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace marlow::gui {

namespace {

constexpr int kSize = 32;

const QColor kInk(40, 48, 64);
const QColor kBlue(52, 101, 164);
const QColor kGreen(60, 150, 60);
const QColor kRed(190, 50, 40);
const QColor kPaper(250, 250, 245);
const QColor kAmber(230, 160, 30);

void Folder(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kAmber);
    p.drawRect(QRectF(3, 9, 18, 16));
    p.drawRect(QRectF(3, 6, 8, 4));
    // A plug beside the folder: files and port in one sheet.
    p.setBrush(kBlue);
    p.drawRect(QRectF(22, 12, 7, 10));
    p.drawLine(QPointF(24, 8), QPointF(24, 12));
    p.drawLine(QPointF(27, 8), QPointF(27, 12));
    p.drawLine(QPointF(25.5, 22), QPointF(25.5, 29));
}

void Connector(QPainter& p, const QColor& mark) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(200, 200, 210));
    QPainterPath shell;
    shell.moveTo(4, 10);
    shell.lineTo(28, 10);
    shell.lineTo(25, 22);
    shell.lineTo(7, 22);
    shell.closeSubpath();
    p.drawPath(shell);
    p.setBrush(kInk);
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(8.5 + i * 3.8, 14), 1.0, 1.0);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(10.5 + i * 3.8, 18), 1.0, 1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    p.drawEllipse(QPointF(25, 26), 5, 5);
}

void Chip(QPainter& p) {
    controls::DrawChipGlyph(p, QRectF(8, 8, 16, 16), QPen(kInk, 1.5), QColor(70, 70, 80),
                            QPen(kAmber, 2));
}

void Disk(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 4, 14, 9));
    p.setBrush(QColor(210, 210, 210));
    p.drawRect(QRectF(8, 18, 16, 10));
}

void Eraser(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRect(QRectF(5, 3, 17, 22));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(8, 8 + i * 4), QPointF(19, 8 + i * 4));
    p.setBrush(QColor(240, 130, 150));
    QPainterPath rubber;
    rubber.moveTo(16, 28);
    rubber.lineTo(26, 18);
    rubber.lineTo(30, 22);
    rubber.lineTo(22, 30);
    rubber.closeSubpath();
    p.drawPath(rubber);
}

void Windows(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRect(QRectF(3, 3, 11, 12));
    p.drawRect(QRectF(3, 17, 11, 12));
    p.drawRect(QRectF(16, 3, 13, 26));
    p.setBrush(kBlue);
    p.drawRect(QRectF(3, 3, 11, 3));
    p.drawRect(QRectF(3, 17, 11, 3));
    p.drawRect(QRectF(16, 3, 13, 3));
}

void Handset(QPainter& p, bool cancel) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(90, 90, 100));
    p.drawRoundedRect(QRectF(6, 3, 14, 26), 3, 3);
    p.setBrush(QColor(170, 210, 240));
    p.drawRect(QRectF(8.5, 6, 9, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(cancel ? kRed : kGreen);
    if (cancel) {
        p.drawRect(QRectF(19, 17, 11, 11));
    } else {
        QPainterPath play;
        play.moveTo(19, 16);
        play.lineTo(30, 22.5);
        play.lineTo(19, 29);
        play.closeSubpath();
        p.drawPath(play);
    }
}

void Draw(QPainter& p, CommandId id) {
    switch (id) {
    case ID_SETTINGS:
        Folder(p);
        break;
    case ID_DEBUG_PORT_OPEN:
        Connector(p, kGreen);
        break;
    case ID_DEBUG_PORT_CLOSE:
        Connector(p, kRed);
        break;
    case ID_VIVEZO_SET:
        Chip(p);
        break;
    case ID_FILE_SAVE_AS:
        Disk(p);
        break;
    case ID_DEBUG_MESSAGE_CLEAR:
        Eraser(p);
        break;
    case ID_ORIGINAL_POSITION:
        Windows(p);
        break;
    case ID_PHONE_DOWN_START:
        Handset(p, false);
        break;
    case ID_PHONE_DOWN_CANCEL:
        Handset(p, true);
        break;
    default:
        break;
    }
}

} // namespace

QIcon ToolbarIcon(CommandId id) {
    QPixmap picture(kSize, kSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    Draw(painter, id);
    painter.end();
    return QIcon(picture);
}

} // namespace marlow::gui
