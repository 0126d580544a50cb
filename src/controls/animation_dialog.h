#pragma once
// The untitled box that animates while the handset writes its flash. It only
// animates while shown; every showing starts again at frame 0.

#include <QBasicTimer>
#include <QDialog>
#include <QImage>

namespace marlow::controls {

class CAnimationDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAnimationDlg(QWidget* parent = nullptr);

    int CurrentFrame() const { return frame_; }
    bool Animating() const { return timer_.isActive(); }
    // One tick of the animation, as the 500 ms timer does it.
    void Tick();
    // The frame last painted into the window.
    int ShownFrame() const { return shownFrame_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage strip_;
    QBasicTimer timer_;
    int frame_ = 0;
    int shownFrame_ = -1;
};

} // namespace marlow::controls
