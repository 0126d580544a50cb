#pragma once
// `CPortPage`, "Port Setting": the debug port and its baud rate. The port
// list is "--Search--" (choosing it reads the system's list again), "(none)"
// (no debug port) and the system's serial ports; any other device path can
// be typed into it.

#include "pda/ui/sheet_environment.h"

#include <QWidget>
#include <cstdint>
#include <string>

class QComboBox;

namespace marlow::pda::ui {

inline constexpr const char* kSearchEntry = "--Search--";
inline constexpr const char* kNoPortEntry = "(none)";
inline constexpr int kNoPortIndex = 1;

class CPortPage : public QWidget {
    Q_OBJECT
public:
    CPortPage(const SheetValues& values, SheetEnvironment environment, QWidget* parent = nullptr);

    // Writes the debug port and its baud rate as the page shows them; a
    // list with nothing chosen leaves the value it was given.
    void Apply(SheetValues& values) const;
    void RebuildPortList();

    QComboBox* Ports() const { return ports_; }
    QComboBox* Bauds() const { return bauds_; }

private:
    void SelectCurrentValues();

    SheetEnvironment env_;
    std::string givenPort_;
    std::int32_t givenBaud_ = 0;
    QComboBox* ports_ = nullptr;
    QComboBox* bauds_ = nullptr;
};

} // namespace marlow::pda::ui
