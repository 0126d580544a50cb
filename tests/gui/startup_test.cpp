// Start-up: one instance per user, freed when it ends, the presentation
// chosen by "USB Downloader" (or the station window, when asked for), and
// the debug port opened from what was loaded. How each stored text reads is the settings' own
// tests' matter.

#include "controls/marlow_icon.h"
#include "gui/about_dialog.h"
#include "gui/instance_lock.h"
#include "gui/marlow_app.h"
#include "gui/message_view.h"
#include "gui/station_window.h"
#include "main_window_rig.h"

#include <QApplication>
#include <QIcon>
#include <QMdiArea>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace marlow::test {
namespace {

// Marlow's own icon, not the toolkit's logo nor none.
bool IsMarlowIcon(const QIcon& icon) {
    return !icon.isNull() &&
           icon.pixmap(32).toImage() == controls::MarlowIcon().pixmap(32).toImage();
}

using gui::CMarlowApp;
using gui::StartResult;

struct PortOpen {
    std::string name;
    int baud = 0;
    bool operator==(const PortOpen&) const = default;
};

class StartUpTest : public testing::Test {
protected:
    // The main window unless a test says otherwise.
    StartUpTest() {
        EnsureApplication();
        QApplication::setWindowIcon(QIcon());
        store.Store().setValue("USB Downloader", "1");
    }

    gui::StartOptions Options() {
        gui::StartOptions options;
        options.store = &store.Store();
        options.lockPath = QString::fromStdString(lockDir.File("marlow.lock"));
        options.runFrontPanel = [this](gui::MarlowContext& context) {
            ++panelRuns;
            panelTarget = context.settings.Values().downloadTarget;
            panelIcon = QApplication::windowIcon();
        };
        options.openDebugPort = [this](const std::string& name, int baud) {
            opens.push_back({name, baud});
            return openSucceeds ? Status() : Status(Failure{});
        };
        options.watchDevices = false;
        return options;
    }

    StartResult Start() { return CMarlowApp(Options()).InitInstance(); }

    TempDir lockDir;
    TempStore store;
    RecordingDialogs dialogs;
    int panelRuns = 0;
    std::optional<pda::DownloadTarget> panelTarget;
    QIcon panelIcon;
    std::vector<PortOpen> opens;
    bool openSucceeds = true;
};

TEST_F(StartUpTest, WithoutUsbDownloaderTheFrontPanelRunsWithFlash) {
    store.Store().remove("USB Downloader");
    store.Store().setValue("RegDownTo", "R");
    EXPECT_EQ(Start(), StartResult::PanelClosed);
    EXPECT_EQ(panelRuns, 1);
    EXPECT_EQ(panelTarget, pda::DownloadTarget::Flash);
    EXPECT_TRUE(IsMarlowIcon(panelIcon));
    EXPECT_TRUE(opens.empty());
}

// The debug port opens with the loaded name and rate; an empty name leaves
// it closed, quietly.
TEST_F(StartUpTest, TheDebugPortOpensAsLoaded) {
    store.Store().setValue("Path", "/nowhere/NK.bin");
    store.Store().setValue("PhonePath", "/nowhere/Phone.brx");
    store.Store().setValue("Baud", "115200");
    for (const char* port : {"ttyUSB3", ""}) {
        store.Store().setValue("Port", port);
        ASSERT_EQ(Start(), StartResult::MainWindow);
    }
    EXPECT_EQ(opens, (std::vector<PortOpen>{{"ttyUSB3", 115200}}));
    EXPECT_EQ(panelRuns, 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

// `--station FILE` or the setting StartWindow=station (on the file
// StationFile names) brings up the station window instead of the others.
TEST_F(StartUpTest, TheStationWindowComesUpWhenAskedFor) {
    store.Store().setValue("RunRecords", "off");
    for (const int count : {2, 3}) {
        station::StationFile file;
        for (int slot = 1; slot <= count; ++slot)
            file.slotList.push_back({std::to_string(slot), "1-1." + std::to_string(slot),
                                     station::SlotMode::Pda, "nk.bin", ""});
        std::ofstream(lockDir.File(std::to_string(count) + ".conf"))
            << station::StationFileText(file);
    }
    struct Row {
        const char* startWindow;
        const char* stationFile;                // the setting
        std::optional<std::string> option = {}; // --station
        StartResult started;
        std::size_t tiles;
    };
    const Row rows[] = {
        {"station", "2.conf", {}, StartResult::StationWindow, 2},
        {"", "2.conf", "3.conf", StartResult::StationWindow, 3},
        {"main", "2.conf", {}, StartResult::MainWindow, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.started == StartResult::MainWindow ? "main" : row.stationFile);
        store.Store().setValue("StartWindow", row.startWindow);
        store.Store().setValue("StationFile",
                               QString::fromStdString(lockDir.File(row.stationFile)));
        gui::StartOptions options = Options();
        if (row.option)
            options.stationFile = lockDir.File(*row.option);
        CMarlowApp app(std::move(options));
        ASSERT_EQ(app.InitInstance(), row.started);
        EXPECT_EQ(app.Station() ? app.Station()->Tiles().size() : 0u, row.tiles);
        EXPECT_EQ(app.MainFrame() != nullptr, row.started == StartResult::MainWindow);
    }
}

// A pipe in the lock's place is no Marlow's lock (QLockFile would wait on it).
TEST_F(StartUpTest, ASecondStartWhileOneRunsEndsSilently) {
    gui::InstanceLock running(QString::fromStdString(lockDir.File("marlow.lock")));
    ASSERT_TRUE(running.Acquire());
    CMarlowApp second(Options());
    EXPECT_EQ(second.InitInstance(), StartResult::AlreadyRunning);
    EXPECT_EQ(second.MainFrame(), nullptr);
    EXPECT_TRUE(opens.empty());
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(::mkfifo(lockDir.File("pipe.lock").c_str(), 0600), 0);
    EXPECT_TRUE(gui::InstanceLock(QString::fromStdString(lockDir.File("pipe.lock"))).Acquire());
}

// A port that does not open is reported and start-up goes on. The size the
// frame ends up with counts, also when the window system gave it while that
// box was up.
TEST_F(StartUpTest, TheWindowsComeUpPlacedTitledAndActivePastAPortThatDidNotOpen) {
    gui::StartOptions options = Options();
    CMarlowApp* starting = nullptr;
    options.openDebugPort = [&](const std::string&, int) {
        starting->MainFrame()->showNormal();
        starting->MainFrame()->resize(900, 640);
        Flush(); // the box's own event loop
        return Status(Failure{});
    };
    CMarlowApp app(options);
    starting = &app;
    ASSERT_EQ(app.InitInstance(), StartResult::MainWindow);
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{"COM1 Port Initialize Error"}));
    EXPECT_TRUE(app.Context()->layoutReady);
    Flush();
    EXPECT_NE(app.Context()->fileInformation.Bytes().find("File not found"), std::string::npos);
    gui::CMainFrame* frame = app.MainFrame();
    EXPECT_EQ(frame->windowTitle(), "Quillon V0.3 Beta_(Build 080118)");
    EXPECT_EQ(frame->width(), 900);
    ExpectTheTableLayout(*frame);
    EXPECT_EQ(frame->Child(gui::WindowRole::FileInformation)->windowTitle(),
              "File Information Window");
    EXPECT_EQ(frame->Child(gui::WindowRole::DebugMessage)->windowTitle(), "Debug Message Window");
    EXPECT_EQ(frame->Child(gui::WindowRole::DeviceState)->windowTitle(), "Device State Window");
    EXPECT_EQ(frame->MdiArea()->activeSubWindow(), frame->Child(gui::WindowRole::DebugMessage));
    EXPECT_TRUE(IsMarlowIcon(frame->windowIcon()));
    EXPECT_TRUE(IsMarlowIcon(frame->Child(gui::WindowRole::DeviceState)->windowIcon()));
    EXPECT_TRUE(IsMarlowIcon(gui::AboutDialog(frame).windowIcon()));
}

} // namespace
} // namespace marlow::test
