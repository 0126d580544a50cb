// The UART loader dialog over the handset emulator: its controls and write
// modes, whole runs on a pseudo-terminal, the settings and log files, and
// every way of ending the dialog while a worker runs, each run's record
// told its end.

#include "support/accessible_names.h"
#include "support/gui_test_support.h"
#include "support/uart_test_support.h"
#include "uartloader/uart_port.h"
#include "uartloader/ui/uart_loader_dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

using emulators::UartEmulatorOptions;
using uartloader::LoaderSettings;
using uartloader::test::DisconnectLine;
using uartloader::test::ExpectedDefaultLog;
using uartloader::test::PtyHandset;
using uartloader::ui::CUartLoaderDlg;

// Rows 0 to 7, none empty, so every bar of a run ends at 100.
constexpr std::array<std::size_t, 8> kFileSizes = {300, 200, 2148, 5000, 64, 2048, 1, 4097};

std::string Unix(std::string text) {
    std::erase(text, '\r');
    return text;
}

// Turns the debug channel on and collects what the dialog writes there.
struct DebugChannel {
    DebugChannel() {
        lines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("marlow.uartloader.debug=true"));
        previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext& where, const QString& text) {
                if (std::string_view(where.category) == "marlow.uartloader")
                    lines.push_back(text.toStdString());
            });
    }
    ~DebugChannel() {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    }
    static inline std::vector<std::string> lines;
    QtMessageHandler previous = nullptr;
};

class LoaderDialogTest : public testing::Test {
protected:
    LoaderDialogTest() { uartloader::test::WriteRoleFiles(files, kFileSizes); }

    CUartLoaderDlg& Dialog() {
        if (!dialog) {
            uartloader::ui::LoaderDialogOptions options;
            options.store = &store.Store();
            options.pause = [this](std::chrono::milliseconds wait) { pauses.push_back(wait); };
            options.recordRun = [this](const uartloader::UartLoaderSession&)
                -> Result<std::unique_ptr<uartloader::LoaderSink>> {
                if (!refuseRecords.empty())
                    return Failure{refuseRecords};
                return std::unique_ptr<uartloader::LoaderSink>(std::make_unique<Forward>(records));
            };
            dialog = std::make_unique<CUartLoaderDlg>(nullptr, std::move(options));
            dialog->show();
        }
        return *dialog;
    }
    template <class Widget = QWidget> Widget* Control(int id) {
        auto* widget = Dialog().findChild<Widget*>(QString::number(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Click(int id) { Control<QAbstractButton>(id)->click(); }
    void ClickAnswering(int id, const std::string& path) {
        dialogs.answers.push_back(QString::fromStdString(path));
        Click(id);
        Flush();
    }
    void SetPort(const std::string& port) {
        Control<QComboBox>(1075)->setEditText(QString::fromStdString(port));
    }
    std::string FieldText(int id) { return Control<QLineEdit>(id)->text().toStdString(); }
    std::string ShownLog() { return Control<QPlainTextEdit>(1083)->toPlainText().toStdString(); }
    int Bar(int id) { return Control<QProgressBar>(id)->value(); }
    void StartOn(const std::string& port) {
        SetPort(port);
        Click(1076);
    }
    // The run's verdict, once the dialog has shown its end.
    std::optional<Verdict> AwaitRunEnd() {
        if (!ProcessUntil([this] { return Dialog().RunEnd().has_value(); }))
            return std::nullopt;
        return Dialog().RunEnd()->verdict;
    }
    void LoadSettings(const LoaderSettings& settings) {
        const std::string path = dir.File("loader.mfl");
        ASSERT_TRUE(uartloader::WriteMflFile(path, settings));
        ClickAnswering(1079, path);
    }

    // What the runs' records heard, as the worker posted it.
    struct Forward final : uartloader::LoaderSink {
        explicit Forward(uartloader::test::RecordingSink& to) : to(to) {}
        void Post(const uartloader::LoaderEvent& event) override { to.Post(event); }
        uartloader::test::RecordingSink& to;
    };
    std::optional<Verdict> RecordedEnd() const {
        const std::vector<RunFinished> ends = records.Ends();
        return ends.empty() ? std::nullopt : std::optional(ends.back().verdict);
    }

    struct ApplicationFirst {
        ApplicationFirst() { EnsureApplication(); }
    } applicationFirst;
    uartloader::test::RecordingSink records;
    std::string refuseRecords; // why no run may start, when set
    RecordingDialogs dialogs;
    TempStore store;
    TempDir dir;
    uartloader::test::RoleFiles files;
    std::vector<std::chrono::milliseconds> pauses;
    std::unique_ptr<CUartLoaderDlg> dialog;
};

// Which controls each write mode enables: {ids, in Total Write, in Seperate Write}.
struct EnableRule {
    std::vector<int> ids;
    bool total;
    bool separate;
};

const EnableRule kEnableRules[] = {
    // the file fields and "..." buttons of rows 0 to 7
    {{1084, 1085, 1090, 1091, 1095, 1096, 1100, 1101, 1105, 1106, 1110, 1111, 1115, 1116, 1120,
      1121},
     false,
     true},
    // the addresses of rows 0 and 1 are never sent
    {{1086, 1089, 1092, 1094}, false, false},
    // the addresses of rows 2 to 7
    {{1097, 1099, 1102, 1104, 1107, 1109, 1112, 1114, 1117, 1119, 1122, 1124}, false, true},
    // row 8, the STM list, and its bar
    {{1125, 1126, 1127, 1129, 1132}, true, false},
    {{1075, 1076, 1077, 1078, 1079, 1080, 1083, 1088, 1093, 1098, 1103, 1108, 1113, 1118, 1123,
      1130, 1131, 1133, 1137},
     true,
     true},
};

// It opens in Total Write, every control named; a second "Seperate Write"
// changes nothing.
TEST_F(LoaderDialogTest, OpensInTotalWriteAndEachModeEnablesItsOwnControls) {
    EXPECT_EQ(Dialog().windowTitle(), "ST Uart Flash Loader_(Build 071203)");
    EXPECT_THAT(AccessibleNameProblems(Dialog()), testing::IsEmpty());
    EXPECT_EQ(Control<QLineEdit>(1097)->maxLength(), 8);
    EXPECT_EQ(Control<QLineEdit>(1129)->maxLength(), 8);
    for (int clicked : {0, 1130, 1130, 1131}) {
        if (clicked != 0)
            Click(clicked);
        const bool totalWrite = clicked != 1130;
        EXPECT_TRUE(Control<QRadioButton>(totalWrite ? 1131 : 1130)->isChecked());
        EXPECT_EQ(Dialog().Session().TotalWriteMode(), totalWrite);
        for (const EnableRule& rule : kEnableRules)
            for (int id : rule.ids)
                EXPECT_EQ(Control(id)->isEnabled(), totalWrite ? rule.total : rule.separate)
                    << id << " after " << clicked;
    }
}

// The "..." of rows 0 to 7 offers binary files and fills its own row's
// field; a cancel leaves the field. Either way the press lifts the refusal
// of a list that had an invalid line.
TEST_F(LoaderDialogTest, EachRowsBrowseButtonFillsItsOwnFieldAndLiftsAListsRefusal) {
    const std::pair<int, int> buttonAndField[] = {{1085, 1084}, {1091, 1090}, {1096, 1095},
                                                  {1101, 1100}, {1106, 1105}, {1111, 1110},
                                                  {1116, 1115}, {1121, 1120}};
    WriteFile(files.dir.File("bad.stm"), "-role0.bin\n\n");
    ClickAnswering(1126, files.dir.File("bad.stm"));
    Click(1130);
    ASSERT_TRUE(Dialog().Session().ListInvalid());
    const std::string before = FieldText(1084);
    Click(1085); // no answer: cancelled
    EXPECT_FALSE(Dialog().Session().ListInvalid());
    EXPECT_EQ(FieldText(1084), before);
    for (const auto& [button, field] : buttonAndField) {
        ClickAnswering(button, "/img/" + std::to_string(button));
        EXPECT_EQ(dialogs.choices.back().filters.front().label,
                  "Binary Files(*.bin, *.plain, *.nb0)");
    }
    for (const auto& [button, field] : buttonAndField)
        EXPECT_EQ(FieldText(field), "/img/" + std::to_string(button));
}

// Whole runs on a pseudo-terminal -----------------------------------------

// Connecting in Total Write, as the dialog opens, before a list was read
// through row 8 stops at the second boot file (a settings load does not
// read the list it names); the boot indication still reaches the handset,
// though the port closes right after it. With the list read, the run
// drives the total bar; a Separate Write run fills bars 0 to 7 and its log
// can be saved.
TEST_F(LoaderDialogTest, TotalWriteBeforeAndAfterItsListThenSeparateWrite) {
    LoaderSettings settings = uartloader::test::SeparateWriteSettings(files);
    std::string list;
    for (int row = 0; row < 8; ++row)
        list += "-role" + std::to_string(row) + ".bin\r\n";
    settings.rows[8].path = files.dir.File("set.stm");
    WriteFile(settings.rows[8].path, list);
    LoadSettings(settings);
    const std::string separator = std::string(47, '_') + "\r\n";
    for (const int step : {0, 1, 2}) {
        if (step == 1)
            ClickAnswering(1126, settings.rows[8].path);
        if (step == 2)
            Click(1130);
        PtyHandset handset;
        QSignalSpy total(Control<QProgressBar>(1132), &QProgressBar::valueChanged);
        StartOn(handset.PortPath());
        ASSERT_EQ(AwaitRunEnd(), step == 0 ? Verdict::Failed : Verdict::Passed);
        EXPECT_EQ(Control<QLabel>(1133)->text(), "Comport is disconnected.");
        const std::string port = handset.PortPath();
        const std::string log =
            step == 0
                ? "Connected to " + port + " port.\r\n\r\nReceived ASIC ID\r\n" +
                      "Boot Indication Sent = F0030002\r\n\r\nLOADING 2nd Boot...\r\n" + separator +
                      "\r\nFailed to open 2nd boot binary file.\r\n" + DisconnectLine(port)
                : ExpectedDefaultLog(port);
        EXPECT_EQ(ShownLog(), Unix(log)) << step;
        EXPECT_EQ(handset.Report().bootIndication, 0xF0030002u);
        EXPECT_EQ(handset.Report().Passed(), step != 0);
        EXPECT_EQ(std::ranges::count(total, QList<QVariant>{100}) > 0, step == 1);
        if (step == 2) {
            for (int bar : {1088, 1093, 1098, 1103, 1108, 1113, 1118, 1123})
                EXPECT_EQ(Bar(bar), 100) << bar;
            ClickAnswering(1080, dir.File("run.txt"));
            EXPECT_EQ(ReadFileText(dir.File("run.txt")), log); // "\r\n" kept
        }
    }
    EXPECT_EQ(dialogs.messages, std::vector<QString>{"Please Check for Binary Files...Retry!!!"});
}

// A new "Connect" clears the log and every bar first, so a port that cannot
// be opened leaves "Failed to connect." alone, and says why only in the
// debug channel.
TEST_F(LoaderDialogTest, AConnectThatFailsLeavesOnlyFailedToConnect) {
    for (const auto& [port, reason] :
         {std::pair{"/nonexistent/tty", "cannot open /nonexistent/tty"},
          std::pair{"  ", "(no port given)"}}) {
        SCOPED_TRACE(port);
        DebugChannel channel;
        Control<QProgressBar>(1103)->setValue(40);
        SetPort(port);
        Click(1076);
        Flush();
        EXPECT_EQ(ShownLog(), "Failed to connect.\n");
        EXPECT_EQ(AwaitRunEnd(), Verdict::Failed);
        EXPECT_EQ(Bar(1103), 0);
        EXPECT_TRUE(Control(1076)->isEnabled());
        EXPECT_EQ(RecordedEnd(), Verdict::Failed);
        ASSERT_FALSE(channel.lines.empty());
        EXPECT_NE(channel.lines.back().find(reason), std::string::npos) << channel.lines.back();
    }
}

// Settings and log files ---------------------------------------------------

// A file that cannot be opened leaves the defaults, which the fields give
// back as the file the settings writer makes of them (its own tests pin
// down the 28 lines); a loaded file comes back byte for byte.
TEST_F(LoaderDialogTest, SaveAndLoadSettingsKeepEveryFieldAndThePortButNotTheWriteMode) {
    ClickAnswering(1079, dir.File("absent.mfl"));
    EXPECT_EQ(dialogs.messages,
              std::vector<QString>{"Failed to open file absent.mfl: No such file or directory"});
    ClickAnswering(1078, dir.File("defaults.mfl"));
    ASSERT_TRUE(uartloader::WriteMflFile(dir.File("expected.mfl"), LoaderSettings::Defaults()));
    EXPECT_EQ(ReadFileText(dir.File("defaults.mfl")), ReadFileText(dir.File("expected.mfl")));
    EXPECT_EQ(dialogs.choices.back().defaultSuffix, "mfl");
    LoaderSettings settings = uartloader::test::SeparateWriteSettings(files);
    settings.port = "COM5";
    settings.rows[8] = {"/img/set.stm", "12345678", "9"};
    settings.rows[3].extAddress = "123456789"; // hand-edited: longer than the field
    LoadSettings(settings);
    EXPECT_EQ(Control<QComboBox>(1075)->currentText(), "COM5");
    EXPECT_EQ(FieldText(1084), files.paths[0]);
    EXPECT_EQ(FieldText(1127), "12345678");
    EXPECT_EQ(FieldText(1102), "12345678");
    EXPECT_TRUE(Control<QRadioButton>(1131)->isChecked());
    EXPECT_EQ(store.Value("Recent Files/Settings"), dir.File("loader.mfl"));

    // The long address was kept for the run to refuse, not cut to the field.
    ClickAnswering(1078, dir.File("again.mfl"));
    EXPECT_EQ(ReadFileText(dir.File("again.mfl")), ReadFileText(dir.File("loader.mfl")));
    EXPECT_EQ(store.Value("Recent Files/Settings"), dir.File("again.mfl"));

    // A typed port is saved as typed and comes back as it was.
    SetPort("/dev/ttyUSB0");
    ClickAnswering(1078, dir.File("typed.mfl"));
    EXPECT_TRUE(ReadFileText(dir.File("typed.mfl")).starts_with("/dev/ttyUSB0\r\n"));
    SetPort("COM2");
    ClickAnswering(1079, dir.File("typed.mfl"));
    EXPECT_EQ(Control<QComboBox>(1075)->currentText(), "/dev/ttyUSB0");
}

// Endings while a worker runs ---------------------------------------------

// "Disconnect" ends the run and gives "Connect" back; Close, Escape and the
// close box each disconnect too, and return only once the worker has
// written its last line and let the port go. (How a new run waits for the
// old one is the session's tests' matter.)
TEST_F(LoaderDialogTest, EveryWayOfEndingStopsTheRunningWorkerFirst) {
    const struct {
        std::function<void(CUartLoaderDlg&)> end;
        bool closes;
    } endings[] = {
        {[this](CUartLoaderDlg&) { Click(1077); }, false},
        {[this](CUartLoaderDlg&) { Click(1137); }, true},
        {[](CUartLoaderDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, true},
        {[](CUartLoaderDlg& d) { d.close(); }, true},
    };
    for (const auto& [end, closes] : endings) {
        pauses.clear();
        Dialog().show();
        Flush(); // the last run's end enables "Connect"
        UartEmulatorOptions silent;
        silent.bootRomSilent = true;
        PtyHandset handset(silent);
        StartOn(handset.PortPath());
        Flush();
        ASSERT_TRUE(Dialog().Session().IsConnected());
        EXPECT_FALSE(Control(1076)->isEnabled());
        end(Dialog());
        ASSERT_EQ(AwaitRunEnd(), Verdict::Stopped);
        EXPECT_EQ(RecordedEnd(), Verdict::Stopped); // its record ended too, closed or not
        EXPECT_EQ(Dialog().isVisible(), !closes);
        EXPECT_FALSE(Dialog().Session().IsConnected());
        EXPECT_TRUE(ShownLog().ends_with("\nFailed to receive any data from the device.\n" +
                                         Unix(DisconnectLine(handset.PortPath()))));
        EXPECT_EQ(pauses, std::vector(closes ? 1u : 0u, std::chrono::milliseconds(300)));
        EXPECT_TRUE(uartloader::CUartPort(handset.PortPath())
                        .Open(uartloader::kLoaderLineSettings)
                        .Ok()); // the worker let it go
        EXPECT_TRUE(Control(1076)->isEnabled());
    }
}

// A run whose record cannot be made when records are required never
// starts: the reason is shown, the port is never opened.
TEST_F(LoaderDialogTest, ARunThatCannotBeRecordedDoesNotStart) {
    refuseRecords = "No run starts: the run store cannot be written";
    PtyHandset handset;
    StartOn(handset.PortPath());
    Flush();
    EXPECT_EQ(dialogs.messages,
              std::vector<QString>{"No run starts: the run store cannot be written"});
    EXPECT_FALSE(Dialog().Session().IsConnected());
    EXPECT_EQ(ShownLog(), "");
    EXPECT_TRUE(records.Events().empty());
}

} // namespace
} // namespace marlow::test
