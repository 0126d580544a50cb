#pragma once
// What the settings sheet works on: the settings values it shows and
// changes, their store, the "Phone" option, and the few things outside the
// sheet that it touches. The sheet says what it needs here; the program
// binds its own settings to it (src/gui), tests bind theirs.

#include <QSettings>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

namespace marlow::pda::ui {

// Bit value 2 of the download option flags: a phone download follows.
inline constexpr int kOptionPhone = 2;

// The download target as the settings hold it.
inline constexpr std::int32_t kTargetRam = 0;
inline constexpr std::int32_t kTargetFlash = 1;

// The values the sheet shows and changes, where their owner keeps them (a
// change is in force at once), and how the owner stores them.
struct SheetSettings {
    std::string* downloadPath = nullptr;
    std::string* phonePackagePath = nullptr;
    std::string* debugPortName = nullptr;
    std::int32_t* debugBaudRate = nullptr;
    std::int32_t* downloadTarget = nullptr; // kTargetRam or kTargetFlash
    const bool* frontPanelMode = nullptr;
    // Stores both file paths.
    std::function<void()> savePaths;
    // Stores the target as "RegDownTo".
    std::function<void(std::int32_t target)> writeDownloadTarget;
};

struct SheetEnvironment {
    SheetSettings settings;
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
