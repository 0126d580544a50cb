// The emulated fixture and the station's learning, as processes: `station
// learn` against `emulate station`, the fixture's modems found by their
// slots' port paths however the tty numbers fall, and a slot's handset
// taken the whole way by a Total run.

#include "cli_process.h"
#include "emulators/sample_set.h"
#include "phone/usb_tty_paths.h"
#include "station/station_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

namespace marlow::station {
namespace {

using marlow::test::CliProcess;

class StationCli : public ::testing::Test {
protected:
    QString Path(const std::string& name) const { return QString::fromStdString(dir.File(name)); }
    // The fixture's JSON line of that event.
    static QJsonObject Event(const std::string& out, const QString& kind) {
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            if (event["event"] == kind)
                return event;
        }
        return {};
    }

    marlow::test::TempDir dir;
    marlow::test::TempDir home;
};

// The engineer plugs a handset into slot 2, then 3, then 1: the file names
// the slots in that order, each with its port and the files given.
TEST_F(StationCli, LearnNamesTheSlotsInTheOrderHandsetsArrive) {
    CliProcess learn(home.Path());
    learn.Start({"station", "learn", "--out", Path("station.conf"), "--slots", "3", "--bus",
                 Path("bus"), "--pda", Path("quill_all.lst")});
    ASSERT_TRUE(learn.WaitForFile(dir.File("bus"))) << learn.Err();
    CliProcess fixture(home.Path());
    fixture.Start({"emulate", "station", "--slots", "3", "--bus", Path("bus"), "--root",
                   Path("root"), "--plug-order", "2,3,1", "--in-turn"});
    EXPECT_EQ(learn.Finish(), 0) << learn.Err();
    EXPECT_EQ(fixture.Finish(), 0) << fixture.Err();

    const Result<StationFile> learned = ReadStationFile(dir.File("station.conf"));
    ASSERT_TRUE(learned) << learned.Error();
    const char* ports[] = {"1-1.2", "1-1.3", "1-1.1"};
    ASSERT_EQ(learned->slotList.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const StationSlot expected{std::to_string(i + 1), ports[i], SlotMode::Total,
                                   dir.File("quill_all.lst"), ""};
        EXPECT_EQ(learned->slotList[i], expected);
    }
}

// Four handsets taken to their modems at once: each slot's modem is the
// one discovery finds under its port path, and the numbers run against
// the slots, so "the first modem port" would be another slot's; a slot's
// fault is its own handset's. Stopped, the fixture takes its ports back.
TEST_F(StationCli, EachSlotsModemIsFoundByItsPortPath) {
    const auto samples = samples::WriteSampleSet(dir.File("samples"));
    ASSERT_TRUE(samples) << samples.Error();
    CliProcess host(home.Path());
    host.Start({"pda", "--file", QString::fromStdString(samples->list), "--bus", Path("bus"),
                "--devices", "4", "--phone"});
    ASSERT_TRUE(host.WaitForFile(dir.File("bus"))) << host.Err();
    CliProcess fixture(home.Path());
    fixture.Start({"emulate", "station", "--slots", "4", "--bus", Path("bus"), "--root",
                   Path("root"), "--plug-order", "3,1,4,2", "--slot-fault", "2:fail-part=1",
                   "--json"});
    EXPECT_EQ(host.Finish(), 0) << host.Err();
    for (const std::string slot : {"1", "2", "3", "4"}) // a modem event names its tty
        ASSERT_TRUE(
            fixture.WaitForOutput("\"port\":\"1-1." + slot + "\",\"slot\":" + slot + ",\"tty\""))
            << fixture.Err();

    std::map<int, std::string> ttyOfSlot;
    std::map<int, std::string> faultsOfSlot;
    std::istringstream lines(fixture.Out());
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (event["event"] != "modem")
            continue;
        ttyOfSlot[event["slot"].toInt()] = event["tty"].toString().toStdString();
        faultsOfSlot[event["slot"].toInt()] =
            event["faults"].toVariant().toStringList().join(' ').toStdString();
    }
    ASSERT_EQ(ttyOfSlot.size(), 4u) << fixture.Out();
    // The slot's fault went to the handset in that slot, whatever the plug order.
    EXPECT_EQ(faultsOfSlot,
              (std::map<int, std::string>{{1, ""}, {2, "fail-part=1"}, {3, ""}, {4, ""}}));
    for (const auto& [slot, tty] : ttyOfSlot)
        EXPECT_EQ(phone::FindTtyUnderUsbPort(dir.File("root"), "1-1." + std::to_string(slot)), tty);
    EXPECT_NE(ttyOfSlot[1], "ttyACM0");
    EXPECT_EQ(phone::FindTtyUnderUsbPort(dir.File("root"), "1-1.5"), std::nullopt);

    fixture.Interrupt(SIGTERM);
    EXPECT_EQ(fixture.Finish(), 143) << fixture.Err();
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("root/dev")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("root/sys/class/tty")));
}

// A one-slot fixture's handset goes the whole way with the Total run of
// the front panel (its modem at the node the fixture published), and each
// fault fails the run and ends the handset the way the fixture tells.
TEST_F(StationCli, ASlotsHandsetGoesTheWholeWayOrLeavesByItsFault) {
    const auto samples = samples::WriteSampleSet(dir.File("samples"));
    ASSERT_TRUE(samples) << samples.Error();
    const std::tuple<QString, int, QString, int> rows[] = {
        // fault, the run's exit, why the handset left, phone files the modem took
        {"", 0, "modem-done", 4},
        {"1:refuse-boot", 1, "host-let-go", 0},
        {"1:vanish-at-part=2", 1, "vanished", 1},
        {"1:disconnect-after=10", 1, "unplugged", 0},
    };
    for (const auto& [fault, exit, why, files] : rows) {
        std::filesystem::remove_all(dir.File("root"));
        CliProcess total(home.Path());
        total.Start({"total", "--list", QString::fromStdString(samples->list), "--bus", Path("bus"),
                     "--port", Path("root/dev/ttyACM0")});
        ASSERT_TRUE(total.WaitForFile(dir.File("bus"))) << total.Err();
        CliProcess fixture(home.Path());
        fixture.Start(QStringList{"emulate", "station", "--slots", "1", "--bus", Path("bus"),
                                  "--root", Path("root"), "--json"} +
                      (fault.isEmpty() ? QStringList() : QStringList{"--slot-fault", fault}));
        EXPECT_EQ(total.Finish(), exit) << fault.toStdString() << total.Err();
        EXPECT_EQ(fixture.Finish(), 0) << fixture.Err();
        const QJsonObject left = Event(fixture.Out(), "left");
        EXPECT_EQ(left["why"].toString(), why) << fault.toStdString() << fixture.Err();
        EXPECT_EQ(left["modemFiles"].toInt(), files) << fault.toStdString();
    }
}

} // namespace
} // namespace marlow::station
