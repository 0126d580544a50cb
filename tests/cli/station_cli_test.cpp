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

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace marlow::station {
namespace {

using marlow::test::CliProcess;

class StationCli : public ::testing::Test {
protected:
    QString Path(const std::string& name) const { return QString::fromStdString(dir.File(name)); }
    // The JSON lines of that event (every line when `kind` is empty).
    static std::vector<QJsonObject> Events(const std::string& out, const QString& kind = {}) {
        std::vector<QJsonObject> events;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            if (kind.isEmpty() || event["event"] == kind)
                events.push_back(std::move(event));
        }
        return events;
    }
    static QJsonObject Event(const std::string& out, const QString& kind) {
        const std::vector<QJsonObject> events = Events(out, kind);
        return events.empty() ? QJsonObject() : events.front();
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
        ASSERT_TRUE(fixture.WaitForOutput("\"slot\":" + slot + ",\"tty\"")) << fixture.Err();

    std::map<int, std::string> ttyOfSlot;
    std::map<int, std::string> faultsOfSlot;
    for (const QJsonObject& event : Events(fixture.Out(), "modem")) {
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

// Eight handsets plugged in out of order re-enumerate at once, each served
// by the slot it sits in: a slot's record names its own list, port, modem
// node and the handset's serial number, one record per run; a slot's fault
// fails that slot alone; a handset on a port the station file does not name
// is not served. A failed handset retested in another slot is one unit by
// its serial number, not a first pass.
TEST_F(StationCli, EachSlotServesTheHandsetOnItsPort) {
    const auto samples = samples::WriteSampleSet(dir.File("samples"));
    ASSERT_TRUE(samples) << samples.Error();
    struct Row {
        const char* name;
        int slotsInFile;
        QStringList faults;
        std::set<std::string> failing; // slots whose handset does not pass
        int exit;
        int retests = 0;
    };
    const Row rows[] = {
        {"all pass", 8, {}, {}, 0},
        {"faults",
         8,
         {"--slot-fault", "2:refuse-boot", "--slot-fault", "5:vanish-at-part=2", "--slot-fault",
          "7:disconnect-after=10"},
         {"2", "5", "7"},
         1},
        {"unknown port", 7, {}, {}, 0},
        {"retested", 8, {"--slot-fault", "2:refuse-boot", "--retest"}, {"2"}, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(dir.File("root"));
        std::filesystem::remove(dir.File("runs.sqlite"));
        StationFile file;
        for (int slot = 1; slot <= row.slotsInFile; ++slot) {
            const std::string list = dir.File("samples/slot" + std::to_string(slot) + ".lst");
            std::filesystem::copy_file(samples->list, list,
                                       std::filesystem::copy_options::overwrite_existing);
            file.slotList.push_back(
                {std::to_string(slot), "1-1." + std::to_string(slot), SlotMode::Total, list, ""});
        }
        std::ofstream(dir.File("station.conf")) << StationFileText(file);

        CliProcess station(home.Path(), dir.File("root"));
        const int runs = row.slotsInFile + row.retests;
        station.Start({"station", Path("station.conf"), "--bus", Path("bus"), "--json",
                       "--run-store", Path("runs.sqlite"), "--handsets", QString::number(runs)});
        ASSERT_TRUE(station.WaitForFile(dir.File("bus"))) << station.Err();
        CliProcess fixture(home.Path());
        fixture.Start(QStringList{"emulate", "station", "--slots", "8", "--bus", Path("bus"),
                                  "--root", Path("root"), "--plug-order", "3,1,8,5,2,7,4,6",
                                  "--json"} +
                      row.faults);
        EXPECT_EQ(station.Finish(), row.exit) << station.Err();
        fixture.Interrupt(SIGTERM);
        fixture.Finish();

        std::map<std::string, std::string> modemOfSlot;
        for (const QJsonObject& event : Events(fixture.Out(), "modem"))
            modemOfSlot[std::to_string(event["slot"].toInt())] =
                dir.File("root/dev/" + event["tty"].toString().toStdString());
        std::set<std::string> failing;
        for (const QJsonObject& event : Events(station.Out(), "finished"))
            if (event["verdict"] != "passed")
                failing.insert(event["slot"].toString().toStdString());
        EXPECT_EQ(failing, row.failing) << station.Out();
        const QJsonObject shift =
            Event(station.Out(), "summary")["slots"].toArray().last().toObject();
        EXPECT_EQ(shift["units"].toInt(), runs);
        EXPECT_EQ(shift["failed"].toInt(), static_cast<int>(row.failing.size()));
        const std::vector<QJsonObject> unserved = Events(station.Out(), "not-served");
        ASSERT_EQ(unserved.size(), row.slotsInFile == 8 ? 0u : 1u) << station.Out();
        if (!unserved.empty()) {
            EXPECT_EQ(unserved[0]["port"], "1-1.8");
        }

        CliProcess exported(home.Path());
        exported.Start({"runs", "export", "--json", "--run-store", Path("runs.sqlite")});
        EXPECT_EQ(exported.Finish(), 0) << exported.Err();
        const std::vector<QJsonObject> records = Events(exported.Out());
        EXPECT_EQ(records.size(), static_cast<std::size_t>(runs)) << exported.Out();
        std::set<QString> serials;
        for (const QJsonObject& record : records) {
            serials.insert(record["serialNumber"].toString());
            const std::string slot = record["slot"].toString().toStdString();
            EXPECT_EQ(record["usbPath"].toString().toStdString(), "1-1." + slot);
            EXPECT_EQ(record["inputs"].toArray()[0].toObject()["path"].toString().toStdString(),
                      dir.File("samples/slot" + slot + ".lst"));
            if (!row.failing.contains(slot)) {
                EXPECT_EQ(record["modemPort"].toString().toStdString(), modemOfSlot[slot]);
            }
        }
        EXPECT_EQ(serials.size(), static_cast<std::size_t>(row.slotsInFile));
        CliProcess yield(home.Path());
        yield.Start({"runs", "yield", "--json", "--run-store", Path("runs.sqlite")});
        EXPECT_EQ(yield.Finish(), 0) << yield.Err();
        const QJsonObject all = Events(yield.Out()).back();
        EXPECT_EQ(all["units"].toInt(), row.slotsInFile) << yield.Out();
        EXPECT_EQ(all["firstPass"].toInt(), row.slotsInFile - static_cast<int>(row.failing.size()));
        EXPECT_EQ(all["retested"].toInt(), row.retests);
    }
}

} // namespace
} // namespace marlow::station
