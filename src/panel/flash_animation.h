#pragma once
// The picture that plays while the handset writes its flash: one 340 x 64
// frame of the eight-frame strip, drawn where the panel's refresh tick puts
// it. With no frame it is hidden and the panel's picture shows through.

#include <QImage>
#include <QWidget>
#include <optional>

namespace marlow::panel {

inline constexpr int kFlashFrameWidth = 340;
inline constexpr int kFlashFrameHeight = 64;

class FlashAnimation : public QWidget {
    Q_OBJECT
public:
    explicit FlashAnimation(QWidget* parent);

    void ShowFrame(int frame);
    void Clear();
    std::optional<int> Frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage strip_;
    std::optional<int> frame_;
};

} // namespace marlow::panel
