#pragma once
// `CTwoLineMessageDlg`: two bold lines in one colour on one background, no
// timer; the close-wait request or the operator ends it.

#include "controls/message_dialog.h"

namespace marlow::controls {

class CTwoLineMessageDlg : public MessageDialog {
    Q_OBJECT
public:
    explicit CTwoLineMessageDlg(QWidget* parent = nullptr);

    void SetTexts(const QString& first, const QString& second);
    void SetTextColor(const QColor& colour) { colour_ = colour; }
    void SetBackColor(const QColor& colour) { background_ = colour; }
    QString First() const { return first_; }
    QString Second() const { return second_; }
    QColor TextColor() const { return colour_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString first_;
    QString second_;
    QColor colour_ = Qt::black;
    QColor background_;
};

} // namespace marlow::controls
