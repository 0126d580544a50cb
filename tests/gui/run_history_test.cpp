// The station's records as the main window shows them: a stamp made in the
// stamp dialog lands in the store (or the window says why not), Run History
// lists, narrows, explains and exports what is there, and the window's
// records and four commands' land whole side by side.

#include "cli/recorded_runs.h"
#include "gui/run_history_dialog.h"
#include "gui/window_records.h"
#include "main_window_rig.h"
#include "records/record_text.h"
#include "records/run_writer.h"
#include "stamp/ui/model_version_dialog.h"
#include "support/uart_test_support.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace marlow::test {
namespace {

using records::RecordVerdict;

TEST(RunHistory, ListsNarrowsExplainsAndExportsTheStationsRecords) {
    TempDir dir;
    const std::string path = dir.File("station/runs.sqlite");
    // A central database that cannot be reached: its backlog and error show.
    MainWindowRig rig(
        {{"RunStore", path.c_str()}, {"CentralDatabase", "host=127.0.0.1 port=1 dbname=none"}});
    gui::WindowRecords records(rig.store.Store(), "main window");

    // A stamp made in the stamp dialog.
    const std::string image = dir.File("nk.bin");
    std::ofstream(image) << "image";
    stamp::ui::CModelVersionDlg stampDialog([] {});
    stampDialog.RecordInsertsWith([&](const std::string& file) {
        return records.RecordStamp(
            file, [](const QString& text) { ADD_FAILURE() << text.toStdString(); });
    });
    stampDialog.PathEdit()->setText(QString::fromStdString(image));
    stampDialog.ModelEdit()->setText("Q1");
    stampDialog.VersionEdit()->setText("V2");
    stampDialog.OnInsert();
    // Two downloads, the older one failed a day before; the newer one after
    // the stamp, also when the stamp began within this millisecond.
    const std::int64_t day = 86'400'000;
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch() + 1;
    for (const auto& [started, verdict] :
         {std::pair{now - day, RecordVerdict::Failed}, {now, RecordVerdict::Passed}}) {
        const auto run = records.Begin({.slot = "1-2", .kind = "pda", .startedMs = started});
        run->StepEnded(run->StepStarted("pda-image", "NK"), "failed", 40);
        // The writer keeps the order: the stamp is in the store before these.
        ASSERT_TRUE(
            run->Finish({.verdict = verdict, .reason = "Boot Failed", .endedMs = started + 1500})
                .get());
    }

    gui::RunHistoryDialog history(path, &records);
    QTableView& table = *history.Table();
    const auto column = [&](int column) {
        std::vector<std::string> texts;
        for (int row = 0; row < table.model()->rowCount(); ++row)
            texts.push_back(table.model()->index(row, column).data().toString().toStdString());
        return texts;
    };
    // Newest first; the verdict and the day narrow the table.
    EXPECT_EQ(column(2), (std::vector<std::string>{"passed", "passed", "failed"}));
    history.VerdictFilter()->setCurrentText("failed");
    EXPECT_EQ(column(2), (std::vector<std::string>{"failed"}));
    table.selectRow(0);
    table.setCurrentIndex(table.model()->index(0, 0));
    const std::string details = history.Details()->toPlainText().toStdString();
    EXPECT_NE(details.find("Verdict: failed: Boot Failed"), std::string::npos) << details;
    EXPECT_NE(details.find("pda-image NK: failed"), std::string::npos) << details;
    history.VerdictFilter()->setCurrentIndex(0);
    history.FromDate()->setDate(QDate::currentDate());
    EXPECT_EQ(column(6), (std::vector<std::string>{"pda", "stamp"}));
    EXPECT_TRUE(ProcessUntil([&] {
        return history.ForwarderState()->text().startsWith(
                   "Central database: 3 records waiting, 0 forwarded; last error: ") &&
               history.ForwarderState()->isVisibleTo(&history);
    })) << history.ForwarderState()->text().toStdString();

    // What the table shows, as `marlow-cli runs export --csv` writes it.
    const QString csv = QString::fromStdString(dir.File("runs.csv"));
    rig.dialogs.answers.push_back(csv);
    history.OnExport();
    QFile exported(csv);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const std::vector<records::RunRecord> shown = history.Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(exported.readAll().toStdString(), records::RecordsCsv(shown));
}

// A stamp whose record cannot be made: the stamp is written, and the File
// Information window and the status bar say why it is not recorded.
TEST(RunHistory, AStampThatCannotBeRecordedSaysSo) {
    TempDir dir;
    std::ofstream(dir.File("a-file")) << "x";
    const std::string blocked = dir.File("a-file") + "/runs.sqlite";
    MainWindowRig rig({{"RunStore", blocked.c_str()}});
    gui::CMainFrame& frame = rig.Open();
    const std::string image = dir.File("nk.bin");
    std::ofstream(image) << "image";
    QTimer::singleShot(0, [&] {
        auto* stampDialog =
            qobject_cast<stamp::ui::CModelVersionDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(stampDialog, nullptr);
        stampDialog->PathEdit()->setText(QString::fromStdString(image));
        stampDialog->ModelEdit()->setText("Q1");
        stampDialog->VersionEdit()->setText("V2");
        stampDialog->OnInsert();
        stampDialog->reject();
    });
    frame.Command(gui::ID_MODEL_VERSION)->trigger();
    const std::string said = "This run is not recorded: the run store " + blocked;
    EXPECT_TRUE(ProcessUntil([&] {
        return frame.statusBar()->currentMessage().toStdString().rfind(said, 0) == 0;
    })) << frame.statusBar()->currentMessage().toStdString();
    EXPECT_NE(rig.context->fileInformation.Bytes().find(said), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(image), 5u + 20u);
}

// The window and four marlow-cli processes (stamps, the quickest of its
// recorded runs) record into one store at once: nothing is lost.
TEST(RunHistory, FourCommandsAndTheWindowRecordingAtOnceLoseNothing) {
    TempDir dir;
    const std::string path = dir.File("runs.sqlite");
    MainWindowRig rig({{"RunStore", path.c_str()}});
    gui::WindowRecords records(rig.store.Store(), "main window");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.Path())); // not the user's
    const QString tenStamps = "for v in 1 2 3 4 5 6 7 8 9 10; do echo x >\"$1$v\"; \"$0\" stamp "
                              "insert \"$1$v\" --model Q1 --version V2 --run-store \"$2\" "
                              ">/dev/null || exit; done";
    std::vector<std::unique_ptr<QProcess>> commands(4);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        auto& command = commands[i] = std::make_unique<QProcess>();
        command->setProcessEnvironment(environment);
        command->start("bash", {"-c", tenStamps, MARLOW_CLI,
                                QString::fromStdString(dir.File("nk" + std::to_string(i))),
                                QString::fromStdString(path)});
    }
    std::vector<std::shared_future<Status>> finished;
    for (int i = 0; i < 40; ++i) {
        const auto run = records.Begin({.slot = "1-2", .kind = "pda"});
        run->StepEnded(run->StepStarted("pda-image", "NK"), "passed", 40);
        finished.push_back(run->Finish({.verdict = RecordVerdict::Passed}));
    }
    for (const auto& command : commands) {
        ASSERT_TRUE(command->waitForFinished(60000)); // five writers fsyncing on a loaded disk
        EXPECT_EQ(command->exitCode(), 0) << command->readAllStandardError().toStdString();
    }
    for (const std::shared_future<Status>& finish : finished)
        EXPECT_TRUE(finish.get()) << finish.get().Error();
    std::map<std::string, int> runs;
    for (const std::string& run : RecordedRuns(path))
        ++runs[run];
    EXPECT_EQ(runs, (std::map<std::string, int>{{"passed// 1-2: pda-image NK passed,", 40},
                                                {"passed// : stamp INSERT passed,", 40}}));
}

// The UART loader dialog's runs as the main window records them, the slot
// their port.
TEST(RunHistory, TheUartLoadersRunsAreRecorded) {
    TempDir dir;
    const std::string path = dir.File("runs.sqlite");
    MainWindowRig rig({{"RunStore", path.c_str()}});
    gui::WindowRecords records(rig.store.Store(), "main window");
    uartloader::test::RecordingSink shown;
    uartloader::UartLoaderSession session(shown);
    session.Settings().port = "/dev/ttyUSB3";
    auto sink = records.RecordLoaderRuns(
        [](const QString& text) { ADD_FAILURE() << text.toStdString(); })(session);
    ASSERT_TRUE(sink && *sink);
    (*sink)->Post(uartloader::CurrentFileChanged{"xloader.bin"});
    (*sink)->Post(RunFinished{.verdict = Verdict::Passed, .reason = ""});
    EXPECT_TRUE(ProcessUntil([&] {
        return RecordedRuns(path) ==
               std::vector<std::string>{"passed// /dev/ttyUSB3: uart-file xloader.bin passed,"};
    })) << testing::PrintToString(RecordedRuns(path));
}

} // namespace
} // namespace marlow::test
