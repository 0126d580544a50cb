// The settings sheet: the values OK gives back, the "Phone" option taking
// effect at once, the choosers' extension checks and the port list; the
// command that opens it, and stores what OK gave, once.

#include "gui/sheet_binding.h"
#include "main_window_rig.h"
#include "pda/ui/config_sheet.h"
#include "pda/ui/download_page.h"
#include "pda/ui/file_extension_rule.h"
#include "pda/ui/port_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

using pda::DownloadTarget;
using pda::ui::CConfigSheet;
using pda::ui::SheetValues;

class SettingsSheetTest : public testing::Test {
protected:
    SettingsSheetTest() { EnsureApplication(); }

    pda::ui::SheetEnvironment Environment() {
        pda::ui::SheetEnvironment env;
        env.optionFlags = &optionFlags;
        env.frontPanelMode = frontPanelMode;
        env.closeDebugPort = [this] { ++portCloses; };
        env.serialPorts = [this] {
            ++portScans;
            return ports;
        };
        return env;
    }

    RecordingDialogs dialogs;
    SheetValues values{.downloadPath = "/images/NK.bin",
                       .phonePackagePath = "/images/Phone.brx",
                       .downloadTarget = DownloadTarget::Flash,
                       .debugPortName = "ttyS1",
                       .debugBaudRate = 38400};
    int optionFlags = 0;
    bool frontPanelMode = false;
    int portCloses = 0;
    int portScans = 0;
    QStringList ports{"ttyS0", "ttyS1", "ttyUSB0"};
};

// The sheet opens on the values it is given and, after OK, gives back what
// the pages show; it opens wide enough to read a path as deep as a build
// tree's.
TEST_F(SettingsSheetTest, PagesCaptionNoApplyButtonAndTheValuesOnOk) {
    const QString deep = QStringLiteral("/home/operator/images/quillon/release/NK.bin");
    CConfigSheet sheet("Settings", values, Environment());
    EXPECT_EQ(sheet.DownloadPage()->PdaPath()->text(), "/images/NK.bin");
    sheet.DownloadPage()->PdaPath()->setText(deep);
    sheet.show();
    for (const QLineEdit* path : sheet.findChildren<QLineEdit*>(QRegularExpression("Path$")))
        EXPECT_GE(path->width(), path->fontMetrics().horizontalAdvance(deep) + 12);
    EXPECT_EQ(sheet.windowTitle(), "Settings");
    ASSERT_EQ(sheet.Pages()->count(), 2);
    EXPECT_EQ(sheet.Pages()->tabText(0), "Image Open");
    EXPECT_EQ(sheet.Pages()->tabText(1), "Port Setting");
    for (QPushButton* button : sheet.findChildren<QPushButton*>())
        EXPECT_NE(button->text(), "&Apply");
    EXPECT_TRUE(sheet.DownloadPage()->Flash()->isChecked());
    sheet.DownloadPage()->PdaPath()->setText("/images/quill.lst");
    sheet.DownloadPage()->PhonePath()->setText("/images/Other.brx");
    sheet.DownloadPage()->Ram()->setChecked(true);
    sheet.accept();
    EXPECT_EQ(sheet.Values(), (SheetValues{.downloadPath = "/images/quill.lst",
                                           .phonePackagePath = "/images/Other.brx",
                                           .downloadTarget = DownloadTarget::Ram,
                                           .debugPortName = "ttyS1",
                                           .debugBaudRate = 38400}));
    values.downloadTarget = DownloadTarget::Ram;
    CConfigSheet again("Settings", values, Environment());
    EXPECT_TRUE(again.DownloadPage()->Ram()->isChecked());
}

TEST_F(SettingsSheetTest, ThePhoneOptionTakesEffectAtOnceAndStaysAfterCancel) {
    CConfigSheet sheet("Settings", values, Environment());
    sheet.DownloadPage()->PhoneOption()->click();
    EXPECT_EQ(optionFlags, 2);
    sheet.reject();
    EXPECT_EQ(optionFlags, 2);
    CConfigSheet again("Settings", values, Environment());
    EXPECT_TRUE(again.DownloadPage()->PhoneOption()->isChecked());
    again.DownloadPage()->PhoneOption()->click();
    EXPECT_EQ(optionFlags, 0);
}

TEST_F(SettingsSheetTest, TheChoosersRefuseOtherExtensionsAndAskAgain) {
    CConfigSheet sheet("Settings", values, Environment());
    // Only the name's last dot counts, in either letter case.
    dialogs.answers = {QString("/images/nk.bin.bak"), QString("/a.bin/noext"),
                       QString("/images/NK.BIN")};
    sheet.DownloadPage()->OnPdaButton();
    const QString refusal = "Invalid File Extension!\r\n(Choose a Correct File(*.lst or *.bin)";
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{refusal, refusal}));
    EXPECT_EQ(sheet.DownloadPage()->PdaPath()->text(), "/images/NK.BIN");
    const controls::FileChoice& choice = dialogs.choices.front();
    EXPECT_EQ(choice.caption, "Open");
    EXPECT_EQ(choice.defaultSuffix, "bin");
    ASSERT_EQ(choice.filters.size(), 3u);
    EXPECT_EQ(choice.filters[0].label, "BIN Files(*.bin)");
    EXPECT_EQ(choice.filters[1].label, "LIST Files (*.lst)");
    EXPECT_EQ(choice.filters[2].label, "All Files(*.*)");

    // The phone chooser wants .brx; a cancel keeps the edit.
    dialogs.messages.clear();
    const QString before = sheet.DownloadPage()->PhonePath()->text();
    dialogs.answers = {QString("/p/phone.bin"), QString()};
    sheet.DownloadPage()->OnPhoneButton();
    EXPECT_EQ(dialogs.messages,
              (std::vector<QString>{"Invalid File Extension!\r\n(Choose a Correct File(*.brx)"}));
    EXPECT_EQ(sheet.DownloadPage()->PhonePath()->text(), before);
    EXPECT_EQ(dialogs.choices.back().defaultSuffix, "brx");
}

TEST_F(SettingsSheetTest, ThePortPageClosesTheDebugPortListsThePortsAndSearches) {
    CConfigSheet sheet("Settings", values, Environment());
    EXPECT_EQ(portCloses, 1);
    QComboBox* list = sheet.PortPage()->Ports();
    ASSERT_EQ(list->count(), 5);
    EXPECT_EQ(list->itemText(0), "--Search--");
    EXPECT_EQ(list->itemText(1), "(none)");
    EXPECT_EQ(list->currentText(), "ttyS1");
    EXPECT_EQ(sheet.PortPage()->Bauds()->currentText(), "38400");
    EXPECT_EQ(sheet.PortPage()->Bauds()->count(), 13);

    // "--Search--" rebuilds the list from the system.
    const int scansBefore = portScans;
    ports = QStringList{"ttyACM0"};
    list->setCurrentIndex(0);
    emit list->activated(0);
    EXPECT_EQ(portScans, scansBefore + 1);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(2), "ttyACM0");
    EXPECT_EQ(list->currentIndex(), -1);     // the current port is gone: no selection,
    EXPECT_EQ(list->currentText(), "ttyS1"); // but its name stays in view

    frontPanelMode = true;
    CConfigSheet panelSheet("Settings", values, Environment());
    EXPECT_EQ(portCloses, 1) << "in front-panel mode the port stays open";
}

// What the port list holds on OK becomes the debug port: a listed port, a
// typed path, "(none)" (no port at all); "--Search--" leaves it as it was.
TEST_F(SettingsSheetTest, ThePortListOnOkBecomesTheDebugPort) {
    const struct {
        QString chosen;
        std::string port;
    } rows[] = {
        {"ttyUSB0", "ttyUSB0"},
        {"/dev/pts/7", "/dev/pts/7"},
        {"(none)", ""},
        {"--Search--", "ttyS1"},
    };
    for (const auto& row : rows) {
        CConfigSheet sheet("Settings", values, Environment());
        sheet.PortPage()->Ports()->setEditText(row.chosen);
        sheet.PortPage()->Bauds()->setCurrentText("110");
        sheet.accept();
        EXPECT_EQ(sheet.Values().debugPortName, row.port) << row.chosen.toStdString();
        EXPECT_EQ(sheet.Values().debugBaudRate, 110);
    }
    values.debugPortName.clear();
    CConfigSheet sheet("Settings", values, Environment());
    EXPECT_EQ(sheet.PortPage()->Ports()->currentText(), "(none)");
}

// The whole command: the sheet opens on the stored target, which is in
// force at once; OK stores what it gives back, once, reopens the port and
// refreshes the information blocks; Cancel only reopens the port.
TEST(SettingsCommand, StoresOnceReopensAndRefreshesOnOk) {
    MainWindowRig rig({{"RegDownTo", "X"}}); // start-up keeps RAM for a letter it does not know
    TempStore& store = rig.store;
    RecordingDialogs& dialogs = rig.dialogs;
    gui::MarlowContext& context = *rig.context;
    context.settings.Values().debugPortName = "/nonexistent/ttyQ";
    gui::CMainFrame& frame = rig.Open();
    // The command's sheet is modal: the answer is given from its event loop.
    const auto settingsCommand = [&frame](std::function<void(CConfigSheet&)> answer) {
        QTimer::singleShot(0, [&frame, answer] { answer(*frame.findChild<CConfigSheet*>()); });
        frame.Command(gui::ID_SETTINGS)->trigger();
    };
    const std::uint64_t callsBefore = context.settings.SettingsCallCount();
    settingsCommand([](CConfigSheet& sheet) {
        EXPECT_TRUE(sheet.DownloadPage()->Flash()->isChecked());
        sheet.DownloadPage()->PdaPath()->setText("/images/none.bin");
        sheet.DownloadPage()->Ram()->setChecked(true);
        sheet.accept();
    });
    EXPECT_EQ(context.settings.SettingsCallCount(), callsBefore + 1);
    EXPECT_EQ(store.Value("Port"), "/nonexistent/ttyQ");
    EXPECT_EQ(store.Value("Path"), "/images/none.bin");
    EXPECT_EQ(store.Value("RegDownTo"), "R");
    EXPECT_EQ(context.run.Settings().target, DownloadTarget::Ram);
    EXPECT_EQ(frame.PathPane()->text(), "/images/none.bin");
    const QString failed = "/nonexistent/ttyQ Port Open failed\n/nonexistent/ttyQ does not exist: "
                           "plug the serial adapter in, or choose another port on the Port "
                           "Setting page.";
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{failed}));
    EXPECT_EQ(context.fileInformation.Bytes(), "\r\nFile not found");

    // A target stored meanwhile is in force from the sheet's opening on,
    // although nothing else is taken or stored.
    store.Store().setValue("RegDownTo", "F");
    dialogs.messages.clear();
    settingsCommand([](CConfigSheet& sheet) {
        sheet.DownloadPage()->PdaPath()->setText("/images/other.bin");
        sheet.reject();
    });
    EXPECT_EQ(context.run.Settings().target, DownloadTarget::Flash);
    EXPECT_EQ(context.run.Settings().downloadPath, "/images/none.bin");
    EXPECT_EQ(store.Value("Path"), "/images/none.bin");
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{failed}));
    EXPECT_EQ(context.fileInformation.Bytes(), "\r\nFile not found");

    // "(none)": no port to open and nothing to complain about.
    dialogs.messages.clear();
    settingsCommand([](CConfigSheet& sheet) {
        sheet.PortPage()->Ports()->setCurrentIndex(pda::ui::kNoPortIndex);
        sheet.accept();
    });
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(store.Value("Port"), "");
    EXPECT_FALSE(context.debugPort.IsOpen());
}

} // namespace
} // namespace marlow::test
