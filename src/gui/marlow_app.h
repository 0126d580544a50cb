#pragma once
// `CMarlowApp`: the program's start. One Marlow per user; `--station` or
// the setting StartWindow=station brings up the station window, otherwise
// the stored "USB Downloader" value picks the presentation; the main window
// comes up with its three message windows, the debug port and the download
// file's information, in that order.

#include "app/user_settings.h"
#include "gui/marlow_context.h"
#include "gui/program_phone.h"

#include <QSettings>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace marlow::gui {

class CMainFrame;
class InstanceLock;
class StationWindow;

// The station file the station window serves when the setting
// StartWindow=station brings it up and StationFile names none.
inline constexpr const char* kDefaultStationFile = "station.conf";

struct StartOptions {
    // The settings store; unset: the user's own (app::UserSettings).
    QSettings* store = nullptr;
    // The single-instance lock file; empty: the per-user default.
    QString lockPath;
    // Runs the front panel modally; returns when it has closed.
    std::function<void(MarlowContext&)> runFrontPanel;
    // Opens the debug port at start-up; unset: the context's own port.
    std::function<Status(const std::string& name, int baud)> openDebugPort;
    // Listen for devices (libusb, and MARLOW_VIRTUAL_BUS); tests say no.
    bool watchDevices = true;
    // `marlow --station [FILE]`: the station window on that file.
    std::optional<std::string> stationFile{};
};

enum class StartResult {
    AlreadyRunning, // another Marlow holds the lock: end silently
    PanelClosed,    // front-panel mode ran and ended: end
    MainWindow,     // the main window is up: run the event loop
    StationWindow,  // the station window is up: run the event loop
};

class CMarlowApp {
public:
    explicit CMarlowApp(StartOptions options = {});
    ~CMarlowApp();

    StartResult InitInstance();

    MarlowContext* Context() { return context_.get(); }
    CMainFrame* MainFrame() { return frame_.get(); }
    StationWindow* Station() { return station_.get(); }

private:
    void RunFrontPanel(QSettings& store);
    void OpenDebugPortAtStart();
    void PlaceForTheFinalSize();

    StartOptions options_;
    std::unique_ptr<InstanceLock> lock_;
    std::unique_ptr<app::UserSettings> ownStore_;
    std::unique_ptr<MarlowContext> context_;
    std::unique_ptr<CMainFrame> frame_;
    ProgramPhone stationPhone_;
    std::unique_ptr<StationWindow> station_;
};

} // namespace marlow::gui
