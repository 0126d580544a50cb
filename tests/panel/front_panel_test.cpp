// The front panel's window without the downloads: its controls and their
// visibility, the displays and the two layouts, the key rule, the flash-write
// animation on the refresh tick, the station set-up, the choosers, the close
// request and the accessible names.

#include "app/app_settings.h"
#include "manual_panel_clock.h"
#include "panel/front_panel_dialog.h"
#include "panel/path_label.h"
#include "support/accessible_names.h"
#include "support/gui_test_support.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::panel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FrontPanelTest : public ::testing::Test {
protected:
    FrontPanelTest() {
        test::EnsureApplication();
        PanelSetup setup;
        setup.clock = &clock;
        setup.flags = {&allDownLoad, &downSelect, &flashWriting, [this] { ++phoneWaitCleared; }};
        setup.programFolder = "/opt/marlow/";
        setup.openLoaderDialog = [this](QWidget*) { ++loaderOpened; };
        setup.releaseForExit = [this] { return released; };
        panel = std::make_unique<CFrontPanelDlg>(settings, setup);
        panel->show();
    }

    template <typename Widget = QWidget> Widget* Control(int id) const {
        return panel->findChild<Widget*>(QString::number(id));
    }
    QString Text(int id) const { return Control<QLabel>(id)->text(); }
    bool Enabled(int id) const { return Control(id)->isEnabled(); }

    test::TempStore store;
    test::RecordingDialogs dialogs;
    app::CAppSettings settings{store.Store()};
    test::ManualPanelClock clock;
    std::atomic<bool> allDownLoad{false};
    std::atomic<int> downSelect{3};
    std::atomic<bool> flashWriting{false};
    int phoneWaitCleared = 0;
    int loaderOpened = 0;
    bool released = true;
    std::unique_ptr<CFrontPanelDlg> panel;
};

TEST_F(FrontPanelTest, OpensWithItsTitleSettingsSelectionTimerAndFirstWords) {
    EXPECT_EQ(panel->windowTitle(), "Quillon V0.3 Beta_(Build 080118)");
    EXPECT_EQ(store.Value("USB Downloader"), "0");
    EXPECT_EQ(Text(1030), "/opt/marlow/quill_all.lst");
    EXPECT_EQ(settings.Values().downloadPath, "/opt/marlow/quill_all.lst");
    EXPECT_EQ(store.Value("Path"), "C:\\Pda\\release\\NK.bin") << "the list's path is not saved";
    EXPECT_EQ(Text(1034), "C:\\Phone\\release\\Phone.brx");
    EXPECT_TRUE(allDownLoad && downSelect == 0 && phoneWaitCleared == 1);
    EXPECT_EQ(panel->CheckedSelection(), 1);
    EXPECT_TRUE(clock.IsRunning(PanelTimer::Refresh));
    EXPECT_EQ(clock.Period(PanelTimer::Refresh), kRefreshPeriod);
    EXPECT_EQ(Text(1032), "Device Disconnected!");
    EXPECT_EQ(Text(1039), "");
    EXPECT_FALSE(Enabled(1029));
    const QFont counter = Control(1069)->font();
    EXPECT_TRUE(counter.bold() && counter.pixelSize() == 12);
    EXPECT_EQ(Control(1069)->palette().color(QPalette::WindowText), QColor(Qt::blue));
    for (const auto& [id, tip] : {std::pair{1031, "Mp Tool Set"},
                                  {1027, "File Open"},
                                  {1028, "Download Start"},
                                  {1029, "Stop"}})
        EXPECT_EQ(Control(id)->toolTip(), tip) << id;
}

// Every control by its number; the hidden ones stay hidden unless the
// station set-up is open, which shows the engineer's six.
TEST_F(FrontPanelTest, EveryControlExistsHiddenOnesShowOnlyInTheStationSetup) {
    const std::vector<int> shown = {1028, 1029, 1030, 1032, 1039, 1037, 1000, 1143};
    const std::vector<int> setup = {1027, 1033, 1031, 1134, 1135, 1026, 1034};
    const std::vector<int> hidden = {1069, 1035, 1036, 1047, 1048, 1136};
    const std::vector<std::pair<int, const char*>> texts = {
        {1028, "Down Start"}, {1029, "Close"},           {1027, "File Open"},
        {1033, "File Open"},  {1031, "MP Tool Set"},     {1134, "PDA Path"},
        {1135, "PHONE Path"}, {1026, "Close After Down"}};
    for (const auto& [id, text] : texts)
        EXPECT_EQ(Control<QAbstractButton>(id)->text(), text) << id;
    for (const auto& [id, role] :
         {std::pair{1039, "Percent"}, {1037, "Current Download File"}, {1069, "Image Counter"}})
        EXPECT_EQ(Control(id)->accessibleName(), role);
    for (bool open : {false, true}) {
        panel->ShowStationSetup(open);
        for (int id : shown)
            EXPECT_TRUE(Control(id) && Control(id)->isVisible()) << id;
        for (int id : setup)
            EXPECT_EQ(Control(id)->isVisible(), open) << id;
        for (int id : hidden)
            EXPECT_TRUE(Control(id) && !Control(id)->isVisible()) << id;
        EXPECT_THAT(test::AccessibleNameProblems(*panel), IsEmpty()) << open;
    }
}

struct DisplayRow {
    const char* name;
    std::function<void(CFrontPanelDlg&)> show;
    const char* status;
    const char* percent;
    StatusTone tone;
    bool allDone;    // g_AllDownLoad TRUE, m_DownSelect 0
    bool pdaRunning; // afterwards
    bool close;      // Close enabled, and focused if Down Start is not
    bool downStart;  // the idle layout's six controls enabled, Down Start focused
    const char* counter;
    const char* currentFile;
    int progress;
    const char* logged;  // the log list's last line
    const char* message; // text [caption]
    bool refresh;        // timer 1 (re)started at 500 ms
    bool usbWait;        // still running
    int phoneWaitCleared;
};

// Each display starts from a PDA run in full swing (the run layout). A
// handset that arrives during a run opens nothing.
TEST_F(FrontPanelTest, EachDisplayShowsItsTextsAndSetsItsFlags) {
    const DisplayRow rows[] = {
        {"connected", &CFrontPanelDlg::ShowConnected, "Device Connected!", "", StatusTone::Plain,
         false, true, true, false, "2 / 7", "NK.bin", 0, "started", "", false, true, 0},
        {"disconnected", &CFrontPanelDlg::ShowDisconnected, "Device Disconnected!",
         "Reconnect Device to Retry!", StatusTone::Failed, false, false, false, true, "", "NK.bin",
         0, "started", "", false, true, 0},
        {"aborted", &CFrontPanelDlg::ShowAborted, "Aborted Download!", "Reconnect Device to Retry!",
         StatusTone::Failed, false, false, false, true, "", "NK.bin", 0, "started", "", true, true,
         1},
        {"PDA success", &CFrontPanelDlg::ShowPdaSuccess, "Download Successfully!", "Bye!",
         StatusTone::Passed, true, false, false, true, "", "", 50, "Download Successfully!", "",
         false, true, 0},
        {"phone success", &CFrontPanelDlg::ShowPhoneSuccess, "Phone Download Successfully!", "Bye!",
         StatusTone::Passed, true, false, false, true, "", "", 50, "Phone Download Successfully!",
         "PDA & Phone Download Successfully~!! [Download Complete!!]", true, false, 0},
        {"phone failure", [](CFrontPanelDlg& p) { p.ShowPhoneFailure("Boot Failed"); },
         "Phone Downloaded Fail!", "Retry!", StatusTone::Failed, true, true, false, true, "", "", 0,
         "started", "", false, true, 0},
    };
    for (const DisplayRow& row : rows) {
        SCOPED_TRACE(row.name);
        allDownLoad = false;
        downSelect = 3;
        phoneWaitCleared = 0;
        dialogs.messages.clear();
        panel->SetPdaRunning(true);
        panel->RunLayout();
        panel->SetStatus("Download Successfully!", StatusTone::Passed);
        panel->SetCounter("2 / 7");
        panel->SetCurrentFile("NK.bin");
        panel->SetProgress(50);
        panel->Log("started");
        clock.Stop(PanelTimer::Refresh);
        clock.Start(PanelTimer::UsbWait, kUsbWaitPeriod);

        row.show(*panel);
        EXPECT_EQ(Text(1032), row.status);
        EXPECT_EQ(Text(1039), row.percent);
        // AT-SPI carries a label's name (its role) and description.
        QAccessibleInterface* status = QAccessible::queryAccessibleInterface(Control(1032));
        EXPECT_EQ(status->text(QAccessible::Name) + "|" + status->text(QAccessible::Description),
                  "Status|" + QString(row.status));
        EXPECT_EQ(panel->Tone(), row.tone);
        EXPECT_EQ(allDownLoad && downSelect == 0, row.allDone);
        EXPECT_EQ(panel->PdaRunning(), row.pdaRunning);
        EXPECT_EQ(Enabled(1029), row.close);
        for (int id : {1028, 1027, 1033, 1031, 1134, 1135})
            EXPECT_EQ(Enabled(id), row.downStart) << id;
        if (row.downStart || row.close) {
            EXPECT_EQ(panel->focusWidget(), Control(row.downStart ? 1028 : 1029));
        }
        EXPECT_EQ(Text(1069), row.counter);
        EXPECT_EQ(Text(1037), row.currentFile);
        EXPECT_EQ(Control<QProgressBar>(1000)->value(), row.progress);
        EXPECT_EQ(Control<QListWidget>(1136)->currentItem()->text(), row.logged);
        const QString shown = dialogs.messages.empty()
                                  ? QString()
                                  : dialogs.messages.back() + " [" + dialogs.captions.back() + "]";
        EXPECT_EQ(shown, row.message);
        EXPECT_EQ(clock.IsRunning(PanelTimer::Refresh), row.refresh);
        EXPECT_EQ(clock.IsRunning(PanelTimer::UsbWait), row.usbWait);
        EXPECT_EQ(phoneWaitCleared, row.phoneWaitCleared);
    }
}

// Enter and Escape neither press Down Start nor close the panel; Space
// presses it, Tab moves on.
TEST_F(FrontPanelTest, KeysFollowTheKeyRule) {
    QSignalSpy starts(panel.get(), &CFrontPanelDlg::downStartPressed);
    QWidget* downStart = Control(1028);
    downStart->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_D})
        QTest::keyClick(downStart, key);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(starts.count(), 0);
    QTest::keyClick(downStart, Qt::Key_Space);
    EXPECT_EQ(starts.count(), 1);
    QTest::keyClick(downStart, Qt::Key_Tab);
    EXPECT_NE(panel->focusWidget(), downStart);
}

// While the flash is written each window-timer tick shows the next frame,
// 0 to 7 and round again; without the flag the picture shows through.
TEST_F(FrontPanelTest, FlashWriteAnimatesOneFramePerRefreshTick) {
    QSignalSpy ticks(panel.get(), &CFrontPanelDlg::ticked);
    flashWriting = true;
    std::vector<int> frames;
    for (int tick = 0; tick < 9; ++tick) {
        clock.Fire(PanelTimer::Refresh);
        frames.push_back(panel->ShownAnimationFrame().value_or(-1));
    }
    EXPECT_THAT(frames, ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 0));
    clock.Start(PanelTimer::UsbWait, kUsbWaitPeriod);
    clock.Fire(PanelTimer::UsbWait);
    EXPECT_EQ(panel->AnimationFrame(), 1) << "the USB wait's tick does not animate";
    flashWriting = false;
    clock.Fire(PanelTimer::Refresh);
    EXPECT_EQ(panel->ShownAnimationFrame(), std::nullopt);
    EXPECT_EQ(ticks.count(), 11);
}

// The check boxes rule their choosers on every change of state, a toggle
// from the accessibility bus included.
TEST_F(FrontPanelTest, StationSetupCheckBoxesEnableTheirChoosers) {
    panel->findChild<QAbstractButton*>("stationSetup")->click();
    ASSERT_TRUE(panel->StationSetupShown());
    for (const auto& [box, chooser] : {std::pair{1134, 1027}, {1135, 1033}}) {
        auto* check = Control<QCheckBox>(box);
        QAccessibleInterface* toggle = QAccessible::queryAccessibleInterface(check);
        for (int round = 0; round < 2; ++round) {
            toggle->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            EXPECT_EQ(Enabled(chooser), check->isChecked()) << box;
        }
    }
    Control<QCheckBox>(1135)->setChecked(true);
    EXPECT_EQ(panel->CheckedSelection(), 3);
    Control<QCheckBox>(1026)->setChecked(true);
    EXPECT_TRUE(panel->CloseAfterDown());
    Control<QPushButton>(1031)->click();
    EXPECT_EQ(loaderOpened, 1);
}

// A path wider than its field keeps its start and its file name whole, with
// an ellipsis between; the tip has it all. A path of 254 characters is
// taken, one of 255 refused.
TEST_F(FrontPanelTest, ChoosersTakeTheFileSaveItShowItShortAndRefuseAnOverlongPath) {
    test::TempDir dir;
    const std::string image = dir.File("NK.bin");
    const std::string package =
        dir.File(std::string(254 - dir.File("/modem.brx").size(), 'd') + "/modem.brx");
    ASSERT_EQ(package.size(), 254u);
    test::WriteFile(image, std::string(64, 'x'));
    dialogs.answers = {QString::fromStdString(image), QString::fromStdString(package),
                       QString(255, 'p')};
    panel->ShowStationSetup(true);
    Control<QPushButton>(1027)->click();
    Control<QPushButton>(1033)->click();
    EXPECT_EQ(dialogs.choices.front().filters.front().label, "BIN Files (*.bin)");
    EXPECT_EQ(Text(1030).toStdString(), image);
    EXPECT_EQ(Text(1035), "64 Bytes");
    const auto* field = Control<PathLabel>(1034);
    EXPECT_EQ(field->text().toStdString() + field->toolTip().toStdString(), package + package);
    const QString shown = field->ShownText();
    EXPECT_TRUE(shown.startsWith("/") && shown.contains(QChar(0x2026)) &&
                shown.endsWith("/modem.brx") &&
                field->fontMetrics().horizontalAdvance(shown) <= field->contentsRect().width())
        << shown.toStdString();
    EXPECT_EQ(store.Value("Path"), image);
    EXPECT_EQ(store.Value("PhonePath"), package);
    EXPECT_EQ(store.Value("Port") + " " + store.Value("Baud"), "COM1 110");
    Control<QPushButton>(1027)->click();
    EXPECT_EQ(Text(1030).toStdString(), image);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.messages.back().contains("longer than 254 characters"));
}

// During a PDA run the close request asks for the handset's release and
// stays; the owner ends the panel once the handset has gone.
TEST_F(FrontPanelTest, CloseRequestDuringAPdaRunWaitsForTheRelease) {
    panel->SetPdaRunning(true);
    released = false;
    panel->close();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(clock.IsRunning(PanelTimer::Refresh));
    EXPECT_TRUE(allDownLoad && downSelect == 0);
    EXPECT_THAT(dialogs.messages, ElementsAre("USB Unload Failed!\nRemove USB Cable!"));
    panel->EndPanel();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->result(), 0);
}

} // namespace
} // namespace marlow::panel
