#include "panel/panel_skin.h"

#include "controls/chip_glyph.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace marlow::panel {

namespace {

const QColor kInk(34, 44, 60);
const QColor kGreen(46, 140, 70);
const QColor kRed(196, 48, 40);
const QColor kAmber(232, 168, 40);
const QColor kBlue(48, 96, 160);
const QColor kSteel(70, 84, 104);

QPixmap Canvas(int size) {
    QPixmap canvas(size, size);
    canvas.fill(Qt::transparent);
    return canvas;
}

// A rounded tile with a soft top-to-bottom shade in `colour`.
void Tile(QPainter& p, int size, const QColor& colour) {
    QLinearGradient shade(0, 0, 0, size);
    shade.setColorAt(0, colour.lighter(135));
    shade.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(1.5, 1.5, size - 3, size - 3), 7, 7);
}

void DownStartFace(QPainter& p) {
    Tile(p, kFaceSize, kGreen);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPainterPath arrow;
    arrow.moveTo(15, 7);
    arrow.lineTo(24, 7);
    arrow.lineTo(24, 17);
    arrow.lineTo(30, 17);
    arrow.lineTo(19.5, 27);
    arrow.lineTo(9, 17);
    arrow.lineTo(15, 17);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.drawRect(QRectF(8, 29, 23, 3));
}

void StopFace(QPainter& p) {
    Tile(p, kFaceSize, kRed);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(11, 11, 17, 17), 2, 2);
}

// A folder with a mark in its corner: what the chosen file is for.
void FolderFace(QPainter& p, const QColor& mark) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kAmber.darker(110));
    p.drawRoundedRect(QRectF(4, 9, 14, 6), 2, 2);
    p.setBrush(kAmber);
    p.drawRoundedRect(QRectF(4, 12, 31, 21), 2, 2);
    p.setBrush(mark);
    p.drawRoundedRect(QRectF(23, 18, 11, 18), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(25, 21, 7, 8));
}

void ToolSetFace(QPainter& p) {
    Tile(p, kLargeFaceSize, kSteel);
    controls::DrawChipGlyph(p, QRectF(14, 14, 19, 19), QPen(Qt::white, 2), QColor(40, 48, 60),
                            QPen(kAmber, 2.5));
}

} // namespace

QIcon FaceIcon(ButtonFace face) {
    const int size = face == ButtonFace::MpToolSet ? kLargeFaceSize : kFaceSize;
    QPixmap canvas = Canvas(size);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (face) {
    case ButtonFace::DownStart:
        DownStartFace(painter);
        break;
    case ButtonFace::Stop:
        StopFace(painter);
        break;
    case ButtonFace::PdaFileOpen:
        FolderFace(painter, kBlue);
        break;
    case ButtonFace::PhoneFileOpen:
        FolderFace(painter, kGreen);
        break;
    case ButtonFace::MpToolSet:
        ToolSetFace(painter);
        break;
    }
    painter.end();
    return QIcon(canvas);
}

// A handset on the left, the product's name beside it, on a deep blue band.
QPixmap PanelPicture(QSize size) {
    QPixmap picture(size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 0, size.height());
    band.setColorAt(0, QColor(38, 70, 120));
    band.setColorAt(1, QColor(16, 32, 64));
    p.fillRect(picture.rect(), band);

    // The handset stays left of where the flash-write animation plays.
    const double h = size.height();
    const double handset = h * 0.36;
    p.setPen(QPen(QColor(200, 215, 235), 2));
    p.setBrush(QColor(60, 90, 140));
    p.drawRoundedRect(QRectF(6, h * 0.14, handset, h * 0.72), 5, 5);
    p.setBrush(QColor(150, 200, 250));
    p.drawRect(QRectF(6 + handset * 0.17, h * 0.24, handset * 0.66, h * 0.34));
    p.setBrush(QColor(90, 200, 120));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(6 + handset / 2, h * 0.74), 2.5, 2.5);

    QFont name = p.font();
    name.setPixelSize(static_cast<int>(h * 0.36));
    name.setBold(true);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(name);
    p.setPen(Qt::white);
    const QRectF text(handset + 40, 0, size.width() - handset - 48, h * 0.62);
    p.drawText(text, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("QUILLON"));
    QFont line = p.font();
    line.setPixelSize(static_cast<int>(h * 0.17));
    line.setBold(false);
    line.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(line);
    p.setPen(QColor(190, 205, 230));
    p.drawText(QRectF(text.left(), h * 0.62, text.width(), h * 0.3), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("PDA & Phone Download Station"));
    return picture;
}

QIcon PanelWindowIcon() {
    QPixmap canvas = Canvas(32);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(8, 2, 16, 28), 3, 3);
    p.setBrush(QColor(170, 215, 255));
    p.drawRect(QRectF(11, 6, 10, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(16, 24.5), 2.5, 2.5);
    p.end();
    return QIcon(canvas);
}

void PaintPanelBackground(QPainter& painter, const QRect& area) {
    QLinearGradient shade(area.topLeft(), area.bottomLeft());
    shade.setColorAt(0, QColor(232, 237, 244));
    shade.setColorAt(1, QColor(205, 214, 226));
    painter.fillRect(area, shade);
}

} // namespace marlow::panel
