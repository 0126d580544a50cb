#pragma once
// `CBlinkMessageDlg`: one line that blinks every 500 ms between orange and
// its own colour, orange first, until the close-wait request ends it. The
// operator closing it by hand raises detectCancel(): the front panel then
// gives up waiting for the handset.

#include "controls/message_dialog.h"

#include <QBasicTimer>

namespace marlow::controls {

class CBlinkMessageDlg : public MessageDialog {
    Q_OBJECT
public:
    explicit CBlinkMessageDlg(QWidget* parent = nullptr);

    void SetText(const QString& text) { text_ = text; }
    void SetTextColor(const QColor& colour) { colour_ = colour; }
    QString Text() const { return text_; }
    QColor ShownColor() const;

    // One 500 ms tick, as the timer does it.
    void Tick();
    bool Blinking() const { return timer_.isActive(); }

    void CloseWait() override;
    // The window's close box, or Alt+F4.
    void reject() override;

signals:
    void detectCancel();

protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QString text_;
    QColor colour_;
    QBasicTimer timer_;
    bool orangeNext_ = true;
};

} // namespace marlow::controls
