#pragma once
// The panel's pictures, drawn by us at run time: the button faces (39 x 39,
// MP Tool Set 47 x 47), the picture at the top, the window icon and the
// panel's background.

#include <QIcon>
#include <QPixmap>

class QPainter;
class QRect;

namespace marlow::panel {

// The faces by the bitmap numbers the panel's controls carry.
enum class ButtonFace {
    PdaFileOpen = 162,
    DownStart = 163,
    Stop = 164,
    PhoneFileOpen = 199,
    MpToolSet = 189
};

inline constexpr int kFaceSize = 39;
inline constexpr int kLargeFaceSize = 47;

QIcon FaceIcon(ButtonFace face);
// Bitmap 221: the product's picture.
QPixmap PanelPicture(QSize size);
QIcon PanelWindowIcon();
void PaintPanelBackground(QPainter& painter, const QRect& area);

} // namespace marlow::panel
