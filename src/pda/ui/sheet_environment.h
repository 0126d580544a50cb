#pragma once
// What the settings sheet works on: the program's settings and their store,
// the "Phone" option, and the few things outside the sheet that it touches.
// The main window fills it from its context; tests fill it with their own.

#include "app/app_settings.h"

#include <QSettings>
#include <QStringList>
#include <functional>
#include <string>

namespace marlow::pda::ui {

// Bit value 2 of the download option flags: a phone download follows.
inline constexpr int kOptionPhone = 2;

struct SheetEnvironment {
    app::CAppSettings* settings = nullptr;
    QSettings* store = nullptr; // where "RegDownTo" lives
    int* optionFlags = nullptr;
    // The debug port is closed while the sheet is up (main-window mode).
    std::function<void()> closeDebugPort;
    // The main status bar's path pane.
    std::function<void(const std::string& path)> showPath;
    // The serial ports present, by name; unset: the system's own list.
    std::function<QStringList()> serialPorts;
};

QStringList SystemSerialPorts();

} // namespace marlow::pda::ui
