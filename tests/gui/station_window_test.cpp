// The station window on the emulated fixture: each tile follows the handset
// in its own slot whatever order they are plugged in, says its verdict as a
// word and, on the accessibility bus, as its value; idle again, the window
// runs no timer. Its setup view writes only what the station can read.

#include "cli/cli_process.h"
#include "emulators/sample_set.h"
#include "gui/program_phone.h"
#include "gui/station_setup_dialog.h"
#include "gui/station_window.h"
#include "support/accessible_names.h"
#include "support/gui_test_support.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"

#include <QAccessible>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace marlow::test {
namespace {

// The setup view writes only a station file the station would read, as the
// station's reader words its refusal, and what it writes reads back as the
// table showed it.
TEST(StationSetup, WritesOnlyAFileTheStationReads) {
    EnsureApplication();
    RecordingDialogs dialogs;
    TempDir dir;
    const std::string path = dir.File("station.conf");
    struct Row {
        int column; // of slot 2's row: 0 name, 1 port, 3 PDA file
        std::string text;
        const char* refusal; // empty: written
    };
    const Row rows[] = {
        {1, "1-1.1", "port 1-1.1 is slot"},
        {1, "", "port has no value"},
        {0, "1", "named twice"},
        {3, "", "a pda slot needs a pda file"},
        {3, dir.File("other.bin"), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::filesystem::remove(path);
        dialogs.messages.clear();
        gui::StationSetupDialog setup(
            path, {{{"1", "1-1.1", station::SlotMode::Pda, dir.File("nk.bin"), ""},
                    {"2", "1-1.2", station::SlotMode::Pda, dir.File("nk.bin"), ""}}});
        setup.Table()->item(1, row.column)->setText(QString::fromStdString(row.text));
        setup.accept();
        if (*row.refusal != '\0') {
            ASSERT_EQ(dialogs.messages.size(), 1u);
            EXPECT_THAT(dialogs.messages[0].toStdString(), testing::HasSubstr(row.refusal));
            EXPECT_FALSE(std::filesystem::exists(path));
        } else {
            EXPECT_THAT(dialogs.messages, testing::IsEmpty());
            const Result<station::StationFile> written = station::ReadStationFile(path);
            ASSERT_TRUE(written) << written.Error();
            EXPECT_EQ(*written, setup.Edited());
        }
    }
}

#if defined(MARLOW_TEST_DOWNLOAD_LIBRARY) && defined(MARLOW_CLI)

TEST(StationWindow, TilesFollowTheirSlotsOnTheEmulatedFixture) {
    struct Row {
        const char* fault; // the fixture's fault for this slot; empty: none
        const char* verdict;
        const char* value; // the tile's value on the accessibility bus once its handset left
    };
    const Row rows[] = {
        {"", "PASS", "Waiting, last run Passed"},
        {"2:refuse-boot", "FAIL", "Waiting, last run Failed"},
        {"", "PASS", "Waiting, last run Passed"},
        {"4:disconnect-after=10", "FAIL", "Waiting, last run Removed"},
    };
    const int count = static_cast<int>(std::size(rows));
    EnsureApplication();
    TempDir dir;
    TempStore store;
    store.Store().setValue("RunStore", QString::fromStdString(dir.File("runs.sqlite")));
    const auto samples = samples::WriteSampleSet(dir.File("samples"));
    ASSERT_TRUE(samples) << samples.Error();
    station::StationFile file;
    QStringList faults;
    for (int slot = 1; slot <= count; ++slot) {
        file.slotList.push_back({.name = std::to_string(slot),
                                 .portPath = "1-1." + std::to_string(slot),
                                 .mode = station::SlotMode::Total,
                                 .pdaFile = samples->list,
                                 .phonePackage = {}});
        if (*rows[slot - 1].fault != '\0')
            faults << "--slot-fault" << rows[slot - 1].fault;
    }
    std::ofstream(dir.File("station.conf")) << station::StationFileText(file);

    qputenv("MARLOW_DOWNLOAD_LIBRARY", MARLOW_TEST_DOWNLOAD_LIBRARY);
    const gui::ProgramPhone phone = gui::MakeProgramPhone(store.Store(), 10);
    ASSERT_EQ(phone.libraryProblem, "");
    const std::string bus = dir.File("bus");
    gui::StationWindow window({.stationPath = dir.File("station.conf"),
                               .store = &store.Store(),
                               .library = phone.library.get(),
                               .deviceTreeRoot = dir.File("root"),
                               .virtualBus = bus});
    window.show();
    EXPECT_THAT(AccessibleNameProblems(window), testing::IsEmpty());
    ASSERT_EQ(window.Tiles().size(), std::size(rows));
    EXPECT_FALSE(window.TimersRunning());
    window.Start();
    CliProcess fixture(dir.Path());
    fixture.Start(QStringList{"emulate", "station", "--slots", QString::number(count), "--bus",
                              QString::fromStdString(bus), "--root",
                              QString::fromStdString(dir.File("root")), "--plug-order", "3,1,4,2"} +
                  faults);
    const auto allLeft = [&] {
        for (const gui::StationTile* tile : window.Tiles())
            if (!QAccessible::queryAccessibleInterface(const_cast<gui::StationTile*>(tile))
                     ->text(QAccessible::Value)
                     .startsWith("Waiting, last run"))
                return false;
        return true;
    };
    EXPECT_TRUE(ProcessUntil(allLeft));
    for (int i = 0; i < count; ++i) {
        gui::StationTile* tile = window.Tiles()[static_cast<std::size_t>(i)];
        SCOPED_TRACE(i + 1);
        QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(tile);
        EXPECT_EQ(seen->text(QAccessible::Name), "Slot " + QString::number(i + 1));
        EXPECT_EQ(seen->text(QAccessible::Value), rows[i].value);
        EXPECT_EQ(tile->VerdictWord(), rows[i].verdict);
    }
    EXPECT_THAT(window.Counters()->text().toStdString(),
                testing::StartsWith("Passed 2    Failed 2    First-pass yield 50.0 %"));
    // Nothing flashes: the repaint and the elapsed tick have stopped.
    EXPECT_TRUE(ProcessUntil([&] { return !window.TimersRunning(); }));
    // Stopped, the window offers Start again once the slots' threads have ended.
    window.Stop();
    EXPECT_TRUE(ProcessUntil([&] { return window.StartButton()->isEnabled(); }));
    if (fixture.Process().state() != QProcess::NotRunning) {
        fixture.Interrupt(SIGTERM);
        fixture.Finish();
    }
}

#endif

} // namespace
} // namespace marlow::test
