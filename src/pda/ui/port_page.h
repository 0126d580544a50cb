#pragma once
// `CPortPage`, "Port Setting": the debug port and its baud rate. The port
// list is the system's serial ports after a first entry "--Search--";
// choosing that entry reads the system's list again.

#include "pda/ui/sheet_environment.h"

#include <QWidget>

class QComboBox;

namespace marlow::pda::ui {

inline constexpr const char* kSearchEntry = "--Search--";

class CPortPage : public QWidget {
    Q_OBJECT
public:
    CPortPage(SheetEnvironment environment, QWidget* parent = nullptr);

    void Apply();
    void RebuildPortList();

    QComboBox* Ports() const { return ports_; }
    QComboBox* Bauds() const { return bauds_; }

private:
    void SelectCurrentValues();

    SheetEnvironment env_;
    QComboBox* ports_ = nullptr;
    QComboBox* bauds_ = nullptr;
};

} // namespace marlow::pda::ui
