// The station's records as the main window shows them: a stamp made in the
// stamp dialog lands in the store (or the window says why not), and Run
// History lists, narrows, explains and exports what is there.

#include "gui/run_history_dialog.h"
#include "gui/window_records.h"
#include "main_window_rig.h"
#include "records/record_text.h"
#include "records/run_writer.h"
#include "stamp/ui/model_version_dialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    // Two downloads, the older one failed a day before.
    const std::int64_t day = 86'400'000;
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
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

} // namespace
} // namespace marlow::test
