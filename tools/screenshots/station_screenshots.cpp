// Renders the station window with eight slots mid-run into a PNG file: the
// emulated fixture (marlow-cli emulate station, at a real handset's pace,
// slot 3's handsets refusing the modem's boot) plugs handsets without end,
// and the picture is taken once some slots have their verdicts while the
// others flash. Run under a virtual X server (scripts/screenshots).

#include "emulators/sample_set.h"
#include "gui/program_phone.h"
#include "gui/station_window.h"
#include "save_picture.h"
#include "support/gui_test_support.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <fstream>

using namespace marlow;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    test::TempDir dir;
    test::TempStore store;
    store.Store().setValue("RunStore", QString::fromStdString(dir.File("runs.sqlite")));
    store.Store().setValue("StationId", "line-3");
    const auto samples = samples::WriteSampleSet(dir.File("samples"));
    if (!samples)
        return 1;
    station::StationFile file;
    for (int slot = 1; slot <= 8; ++slot)
        file.slotList.push_back({.name = std::to_string(slot),
                                 .portPath = "1-1." + std::to_string(slot),
                                 .mode = station::SlotMode::Total,
                                 .pdaFile = samples->list,
                                 .phonePackage = {}});
    std::ofstream(dir.File("station.conf")) << station::StationFileText(file);
    qputenv("MARLOW_DOWNLOAD_LIBRARY", MARLOW_DOWNLOAD_LIBRARY_FILE);
    const gui::ProgramPhone phone = gui::MakeProgramPhone(store.Store(), 10);
    const std::string bus = dir.File("bus");
    gui::StationWindow window({.stationPath = dir.File("station.conf"),
                               .store = &store.Store(),
                               .library = phone.library.get(),
                               .deviceTreeRoot = dir.File("root"),
                               .virtualBus = bus});
    window.resize(1280, 860);
    window.show();
    window.Start();
    QProcess fixture;
    fixture.start(MARLOW_CLI_FILE,
                  {"emulate", "station", "--slots", "8", "--bus", QString::fromStdString(bus),
                   "--root", QString::fromStdString(dir.File("root")), "--handsets", "1000",
                   "--pace", "--plug-order", "3,1,8,5,2,7,4,6", "--slot-fault", "3:refuse-boot"});
    // Mid-run: a few verdicts in, one of those slots' handsets gone (its
    // record written), most slots flashing and well on.
    gui::StationTile* done = nullptr;
    const auto midRun = [&] {
        int verdicts = 0;
        int flashing = 0;
        for (gui::StationTile* tile : window.Tiles()) {
            const gui::TileView& shown = tile->Shown();
            verdicts +=
                shown.verdict == gui::TileState::Passed || shown.verdict == gui::TileState::Failed;
            flashing += shown.state == gui::TileState::Flashing && shown.percent > 10;
            if (shown.state == gui::TileState::Waiting && shown.verdict == gui::TileState::Passed)
                done = tile;
        }
        return verdicts >= 2 && flashing >= 4 && done != nullptr;
    };
    bool reached = QTest::qWaitFor(midRun, 120'000);
    if (reached) {
        QTest::mouseClick(done, Qt::LeftButton);
        reached = QTest::qWaitFor([&] { return window.SlotLog()->blockCount() > 4; }, 10'000);
    }
    const bool ok = reached && Save(window.grab(), out, "station-window.png");
    window.Stop();
    fixture.terminate();
    fixture.waitForFinished();
    return ok ? 0 : 1;
}
