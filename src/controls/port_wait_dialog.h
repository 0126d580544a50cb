#pragma once
// The small modeless box that tells the operator the tool is waiting for the
// handset's USB boot loader after "u" was typed on the debug console. It has
// no behaviour of its own: its owner shows it and destroys it when the next
// device notification arrives.

#include <QDialog>

namespace marlow::controls {

class CPortWaitDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = " Device Port Status";
    static constexpr const char* kText = "Please wait while opening the device port!";

    explicit CPortWaitDlg(QWidget* parent = nullptr);
};

} // namespace marlow::controls
