#pragma once
// The program-wide settings and their persistence. One CAppSettings lives as
// long as the program (the main window holds it); engines get the values
// they need from it, never from globals. User-interface thread only.

#include "app/app_settings_values.h"

#include <QSettings>
#include <cstdint>
#include <string>

namespace marlow::app {

// What the settings hold before anything is loaded. The Windows paths are
// kept on every platform: they are what the settings file records on a first
// run, and an operator recognises them as "no image chosen yet".
struct AppSettings {
    std::string downloadPath = "C:\\Pda\\release\\NK.bin";
    std::string phonePackagePath = "C:\\Phone\\release\\Phone.brx";
    std::string debugPortName = "COM1";
    std::int32_t debugBaudRate = 110;
    pda::DownloadTarget downloadTarget = pda::DownloadTarget::Ram;
    bool frontPanelMode = false;
};

enum SettingsMode { SETTINGS_LOAD = 0, SETTINGS_SAVE_PORT = 1, SETTINGS_SAVE_PATHS = 2 };

enum class Presentation { MainWindow, FrontPanel };

class CAppSettings {
public:
    // The store: the user's own (UserSettings) or, in tests, a file in a
    // temporary folder; not owned.
    explicit CAppSettings(QSettings& store);
    ~CAppSettings();
    CAppSettings(const CAppSettings&) = delete;
    CAppSettings& operator=(const CAppSettings&) = delete;

    AppSettings& Values() { return values_; }
    const AppSettings& Values() const { return values_; }

    // Loads only on the very first call of any mode, so the front panel's
    // later load request cannot undo what the operator has set since.
    // Returns false when a value was not stored because it is longer than
    // its bound (a path over 254 characters, a port name over 254).
    bool LoadSaveSettings(SettingsMode mode, const std::string& portName = {},
                          std::int32_t baud = 0);
    std::uint64_t SettingsCallCount() const { return callCount_; }

    // Start-up: reads "USB Downloader" and "RegDownTo", loads the settings,
    // then picks the presentation. Front-panel mode always downloads to FLASH.
    Presentation PrepareStart();
    // The two halves of PrepareStart, for callers that need them apart.
    std::string PreCreateWindow(); // returns the "USB Downloader" text
    Presentation ChoosePresentation(const std::string& usbDownloader);

    // The target the settings sheet opens on, read from "RegDownTo" as it
    // stands now: a first character "R" is RAM, anything else, or no value,
    // FLASH.
    pda::DownloadTarget StoredDownloadTarget() const;
    // What the operator chose in the settings sheet, stored in one go: both
    // paths, "RegDownTo", the debug port and its baud rate. Returns false
    // when a value was not stored because it is longer than its bound.
    bool SaveChosenSettings();

    // "USB Downloader", which the front panel writes.
    void WriteUsbDownloader(const std::string& text);

private:
    void LoadOnFirstRun();
    std::optional<std::string> Read(const char* name) const;
    void Write(const char* name, const std::string& text);
    bool WriteBounded(const char* name, const std::string& text, std::size_t maxLength);
    bool WritePaths();
    void WriteDownloadTarget(pda::DownloadTarget target);

    QSettings* store_;
    AppSettings values_;
    std::uint64_t callCount_ = 0;
};

} // namespace marlow::app
