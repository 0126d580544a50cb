#pragma once
// What the settings sheet works on: the values it shows and gives back as
// the operator leaves them, the "Phone" option, and the few things outside
// the sheet that it touches. The sheet stores nothing: its owner (src/gui,
// or a test) keeps and stores the values it returns.

#include "pda/download_target.h"

#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

namespace marlow::pda::ui {

// Bit value 2 of the download option flags: a phone download follows.
inline constexpr int kOptionPhone = 2;

// The values the sheet shows and changes.
struct SheetValues {
    std::string downloadPath;
    std::string phonePackagePath;
    DownloadTarget downloadTarget = DownloadTarget::Flash;
    std::string debugPortName; // empty: no debug port
    std::int32_t debugBaudRate = 0;
    bool operator==(const SheetValues&) const = default;
};

struct SheetEnvironment {
    // The "Phone" option takes effect the moment it changes, also if the
    // sheet is then cancelled.
    int* optionFlags = nullptr;
    // The debug port is closed while the sheet is up, but not in front-panel
    // mode.
    bool frontPanelMode = false;
    std::function<void()> closeDebugPort;
    // The serial ports present, by name; unset: the system's own list.
    std::function<QStringList()> serialPorts;
};

QStringList SystemSerialPorts();

} // namespace marlow::pda::ui
