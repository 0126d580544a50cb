// marlow-cli's phone, total and emulate handset commands, run as the test
// engineer runs them: separate processes, the stand-in library found on its
// own, the modem on a pseudo-terminal; a phone run's record as the store
// keeps it.

#include "cli_process.h"
#include "emulators/modem_emulator.h"
#include "emulators/sample_set.h"
#include "emulators/usb_tty_tree.h"
#include "phone/phone_ports.h"
#include "recorded_runs.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <filesystem>

namespace marlow::phone::test {
namespace {

using emulators::ModemEmulator;
using marlow::test::CliProcess;
using marlow::test::ReadFileBytes;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

// A phone run's first steps, as its record keeps them.
constexpr const char* kBooted = " port-wait modem port passed, phone-boot boot passed,";
constexpr const char* kNotBooted = " port-wait modem port passed, phone-boot boot failed,";
constexpr const char* kParts = " phone-part psi.flb passed, phone-part slb.flb passed,"
                               " phone-part modem.fls passed, phone-part modem.eep passed,";
// A Total run's PDA half as its record keeps it.
const std::string kHandedOver = " bus:1: pda-image eboot.bin passed, pda-image nk.bin passed,"
                                " hand-over PHONE_DOWN_CMD passed,";

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto written = samples::WriteSampleSet(dir.File("samples"));
        ASSERT_TRUE(written) << written.Error();
        set = std::move(*written);
    }
    void StartModem(emulators::ModemFaults faults = {}) {
        emulators::ModemEmulatorOptions options;
        options.faults = faults;
        options.storeDirectory = store.Path();
        auto started = ModemEmulator::Start(dir.File("modem"), options);
        ASSERT_TRUE(started) << started.Error();
        modem = std::move(*started);
    }
    QString Path(const std::string& name) const { return QString::fromStdString(dir.File(name)); }
    std::vector<std::string> Recorded() const {
        return marlow::test::RecordedRuns(CliProcess::StorePath(home.Path()));
    }
    std::string LastRecorded() const {
        return marlow::test::LastRecordedRun(CliProcess::StorePath(home.Path()));
    }

    marlow::test::TempDir dir;
    marlow::test::TempDir store;
    marlow::test::TempDir home;
    samples::SampleSet set;
    std::unique_ptr<ModemEmulator> modem;
};

TEST_F(CliRunTest, PhoneDownloadsThePackageAndSaysSo) {
    StartModem();
    CliProcess cli(home.Path());
    cli.Start({"phone", "--package", QString::fromStdString(set.phonePackage), "--port",
               Path("modem"), "--trace"});
    ASSERT_EQ(cli.Finish(), 0) << cli.Err();
    EXPECT_THAT(cli.Out(), HasSubstr("\n Wait For Phone USB... \n"));
    EXPECT_THAT(cli.Out(), HasSubstr("\n Current Download = modem.eep \n"));
    EXPECT_THAT(cli.Out(), ::testing::EndsWith("\n Phone Downloaded Successfully! \n"));
    EXPECT_THAT(cli.Err(), HasSubstr("phone: firmware image"));
    for (const std::string& file : set.phoneFiles) {
        const std::string name = std::filesystem::path(file).filename().string();
        EXPECT_EQ(ReadFileBytes(store.File(name)), ReadFileBytes(file)) << name;
    }
    EXPECT_THAT(Recorded(),
                ::testing::ElementsAre("passed// " + dir.File("modem") + ":" + kBooted + kParts));
}

// SIGTERM (CI runners, `timeout`) stops a run as Ctrl-C does.
TEST_F(CliRunTest, SigtermStopsADownloadAndReleasesThePort) {
    marlow::test::WriteFile(dir.File("big.fls"), marlow::test::PatternBytes(24 << 20, 13));
    for (const char* name : {"psi.flb", "slb.flb", "modem.eep"})
        std::filesystem::copy_file(set.folder + name, dir.File(name));
    marlow::test::WriteFile(dir.File("big.brx"), "+psi.flb\n+slb.flb\n+big.fls\n+modem.eep\n");
    StartModem();

    CliProcess cli(home.Path());
    cli.Start({"phone", "--package", Path("big.brx"), "--port", Path("modem"), "--trace"});
    ASSERT_TRUE(cli.WaitForError("phone: firmware image")) << cli.Err();
    cli.Interrupt(SIGTERM);
    EXPECT_EQ(cli.Finish(), 143) << cli.Err();
    EXPECT_THAT(cli.Out(), HasSubstr("\n DownCancel \n"));
    EXPECT_THAT(cli.Err(), HasSubstr("stopped; the modem port is released"));
    EXPECT_EQ(modem->Files().size(), 2u);
    EXPECT_THAT(Recorded(), ::testing::ElementsAre(
                                "stopped/operator-stop/phone " + dir.File("modem") + ":" + kBooted +
                                " phone-part psi.flb passed, phone-part slb.flb passed,"
                                " phone-part big.fls stopped,"));
}

// --json ends with the run's verdict also when the command ended the run.
TEST_F(CliRunTest, SilentModemEndsWithTheTimeoutsCode) {
    StartModem({.stallBoots = 99});
    CliProcess cli(home.Path());
    cli.Start({"phone", "--package", QString::fromStdString(set.phonePackage), "--port",
               Path("modem"), "--timeout", "1", "--json"});
    EXPECT_EQ(cli.Finish(1s), 4) << cli.Err();
    const std::string why = "no progress for 1 s in booting; the modem port is released";
    EXPECT_THAT(cli.Err(), HasSubstr(why));
    EXPECT_THAT(cli.Out(), ::testing::EndsWith(R"({"event":"run-cancelled"})"
                                               "\n{\"event\":\"run-finished\",\"reason\":\"" +
                                               why + "\",\"verdict\":\"failed\"}\n"));
    EXPECT_THAT(Recorded(), ::testing::ElementsAre("failed/time-out/phone " + dir.File("modem") +
                                                   ":" + kNotBooted));
}

// Refused before any handset or modem is touched: nothing listens on "bus".
// A port that is no modem, or a modem that refuses its boot, ends the run at
// once; the reason is on stderr also without --json.
TEST_F(CliRunTest, BadArgumentsFilesAndPortsEndWithTheirReason) {
    StartModem({.refuseBoot = true});
    marlow::test::WriteFile(dir.File("samples/empty.lst"), "");
    marlow::test::WriteFile(dir.File("samples/no-phone.lst"),
                            std::filesystem::path(set.images[0]).filename().string() + "\n");
    for (const char* twin : {"samples/Twin.bin", "samples/twin.BIN"})
        std::filesystem::copy_file(set.images[0], dir.File(twin));
    marlow::test::WriteFile(dir.File("samples/twins.lst"), "TWIN.bin\n");
    std::filesystem::create_directory(dir.File("samples/folder.fls"));
    const std::pair<const char*, std::string> packages[] = {
        {"no-eep.brx", "modem.fls\n"},
        {"folder.brx", "folder.fls\n+modem.eep\n"},
        {"nul.brx", std::string("m\0.fls\n+modem.eep\n", 18)},
    };
    for (const auto& [name, rest] : packages)
        marlow::test::WriteFile(dir.File("samples/") + name, "+psi.flb\n+slb.flb\n+" + rest);
    // The modem published where the port search looks, on USB port 1-1.1.
    ASSERT_TRUE(emulators::PrepareUsbTtyTree(dir.File("root")));
    ASSERT_TRUE(emulators::PublishUsbTty(dir.File("root"), {.portPath = "1-1.1",
                                                            .ttyName = "ttyACM0",
                                                            .vendor = kModemVendorId,
                                                            .product = kModemProductId}));
    std::filesystem::create_symlink(dir.File("modem"), dir.File("root/dev/ttyACM0"));
    const QString list = QString::fromStdString(set.list);
    const QString package = QString::fromStdString(set.phonePackage);
    const struct {
        QStringList args;
        int exit;
        std::string says;
        std::string recorded = {}; // none: nothing was touched, nothing recorded
    } cases[] = {
        {{"phone", "--package", ""}, 2, "--package is given an empty value"},
        {{"total", "--list", list, "--bus", ""}, 2, "--bus is given an empty value"},
        {{"uart", "--port", ""}, 2, "--port is given an empty value"},
        {{"total", "--list", Path("samples/empty.lst"), "--bus", Path("bus")},
         3,
         "the list names no image"},
        {{"total", "--list", Path("samples/no-phone.lst"), "--bus", Path("bus")},
         3,
         "the list has no phone group"},
        {{"phone", "--package", QString::fromStdString(set.phonePackage), "--port",
          QString::fromStdString(set.phonePackage)},
         1,
         "marlow-cli phone: the modem port could not be opened",
         "failed/link/phone " + set.phonePackage + ":" + kNotBooted},
        {{"phone", "--package", QString::fromStdString(set.phonePackage), "--port", Path("modem")},
         1,
         "marlow-cli phone: Boot refused by the modem",
         "failed/device/phone " + dir.File("modem") + ":" + kNotBooted},
        // Without --port, the modem's port as the search found it: the last record.
        {{"phone", "--package", package},
         1,
         "marlow-cli phone: Boot refused by the modem",
         std::string("failed/device/phone 1-1.1:") + kNotBooted},
        // Every reader says why a file did not open.
        {{"phone", "--package", Path("none.brx")},
         3,
         "cannot read the phone package " + dir.File("none.brx") + ": No such file or directory"},
        {{"phone", "--package", Path("samples/no-eep.brx")},
         3,
         "names no EEPROM image: add a \"+NAME.eep\" line"},
        {{"phone", "--package", Path("samples/folder.brx")},
         3,
         "folder.fls cannot be sent: is a folder"},
        {{"phone", "--package", Path("samples/nul.brx")},
         3,
         ".fls cannot be sent: the name holds a NUL"},
        {{"phone", "--package", package, "--library", Path("none.so")},
         1,
         "none.so cannot be loaded"},
        {{"phone", "--package", package, "--library", Path("none.so"), "--verbose"},
         1,
         "marlow.phone: the vendor library as named"},
        {{"pda", "--file", Path("samples/twins.lst"), "--bus", Path("bus")},
         3,
         "TWIN.bin: several names in " + dir.File("samples/") +
             " match \"TWIN.bin\" ignoring letter case; none is taken"},
    };
    for (const auto& c : cases) {
        const std::size_t recordsBefore = Recorded().size();
        CliProcess cli(home.Path(), dir.File("root"));
        cli.Start(c.args);
        EXPECT_EQ(cli.Finish(), c.exit) << c.args.join(' ').toStdString() << ": " << cli.Err();
        EXPECT_THAT(cli.Err(), HasSubstr(c.says));
        const std::vector<std::string> records = Recorded();
        if (c.recorded.empty())
            EXPECT_EQ(records.size(), recordsBefore) << c.says;
        else
            EXPECT_THAT(records, ::testing::Contains(c.recorded)) << c.says;
    }
    EXPECT_THAT(marlow::test::LastRecordWithFiles(CliProcess::StorePath(home.Path())).second,
                ::testing::EndsWith(" modem " + dir.File("root/dev/ttyACM0")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("bus")));
}

// The road of one Total run: list to the PDA boot loader on the virtual bus,
// PHONE_DOWN_CMD, the modem's port, the phone files.
class TotalRunTest : public CliRunTest {
protected:
    int RunTotal(const QStringList& handsetFaults, CliProcess& total,
                 const QStringList& totalOptions = {"--trace"}) {
        total.Start(QStringList{"total", "--list", QString::fromStdString(set.list), "--bus",
                                Path("bus"), "--port", Path("modem")} +
                    totalOptions);
        if (!total.WaitForFile(dir.File("bus")))
            return total.Finish();
        CliProcess handset(home.Path());
        handset.Start(QStringList{"emulate", "handset", "--bus", Path("bus"), "--modem-link",
                                  Path("modem"), "--store", QString::fromStdString(store.Path()),
                                  "--once"} +
                      handsetFaults);
        const int totalExit = total.Finish();
        handset.Interrupt(); // a failed run leaves the modem waiting
        handset.Finish();
        return totalExit;
    }
};

TEST_F(TotalRunTest, TotalRunThroughTheVirtualHandset) {
    CliProcess total(home.Path());
    ASSERT_EQ(RunTotal({}, total), 0) << total.Err();
    EXPECT_THAT(total.Err(), HasSubstr("message: PDA & Phone Download Successfully~!!"));
    EXPECT_THAT(total.Out(), HasSubstr("case PHONEDOWN_STATE:\n"));
    EXPECT_THAT(total.Out(), HasSubstr("OnComplete()+\n"));
    EXPECT_THAT(total.Out(), HasSubstr("Phone Download Successfully!\n"));
    for (const std::string& file : set.phoneFiles) {
        const std::string name = std::filesystem::path(file).filename().string();
        EXPECT_EQ(ReadFileBytes(store.File(name)), ReadFileBytes(file)) << name;
    }
    EXPECT_EQ(LastRecorded(), "passed//" + kHandedOver + kBooted + kParts);
}

// --json is the run's event stream: the PDA half's events as `pda --json`
// writes them, the phone half's as `phone --json` does (a half the command
// stopped ends in its own run-finished), then the whole run's verdict. A
// handset that leaves for a modem that never comes shows no progress.
TEST_F(TotalRunTest, SilentPortWaitEndsWithTheTimeoutsCode) {
    CliProcess total(home.Path());
    total.Start({"total", "--list", QString::fromStdString(set.list), "--bus", Path("bus"),
                 "--port", Path("modem"), "--timeout", "2", "--json"});
    ASSERT_TRUE(total.WaitForFile(dir.File("bus"))) << total.Err();
    CliProcess handset(home.Path());
    handset.Start({"emulate", "pda", "--bus", Path("bus")});
    EXPECT_EQ(total.Finish(2s), 4) << total.Err();
    handset.Finish();
    const std::string why = "no progress for 2 s in phone: Wait For Phone USB...";
    EXPECT_THAT(total.Err(), HasSubstr(why));
    const std::string failed = "\"reason\":\"" + why + "\",\"verdict\":\"failed\"}\n";
    EXPECT_THAT(total.Out(),
                ::testing::EndsWith("{\"event\":\"run-finished\"," + failed +
                                    "{\"event\":\"total-finished\",\"half\":\"phone\"," + failed));
    EXPECT_EQ(LastRecorded(),
              "failed/time-out/phone" + kHandedOver + " port-wait modem port failed,");
}

// A modem that refuses its boot (once more after the one re-boot) or fails a
// part ends the run at once, with the library's reason in the verdict.
TEST_F(TotalRunTest, ModemFaultsFailTheTotalRunWithTheirReason) {
    const std::string booted = kBooted;
    const struct {
        QStringList fault;
        std::string reason, steps; // the steps recorded after the hand-over
    } faults[] = {
        {{"--refuse-boot"}, "Boot refused by the modem", kNotBooted},
        {{"--fail-part", "1"},
         "Flash write failed: psi.flb",
         booted + " phone-part psi.flb failed,"},
        {{"--fail-part", "3"},
         "Flash write failed: modem.fls",
         booted + " phone-part psi.flb passed, phone-part slb.flb passed, phone-part modem.fls "
                  "failed,"},
    };
    for (const auto& [fault, reason, steps] : faults) {
        CliProcess total(home.Path());
        EXPECT_EQ(RunTotal(fault, total, {"--timeout", "30", "--json"}), 1) << total.Err();
        EXPECT_THAT(total.Err(), HasSubstr("total: " + reason));
        EXPECT_THAT(
            total.Out(),
            ::testing::EndsWith("{\"event\":\"total-finished\",\"half\":\"phone\",\"reason\":\"" +
                                reason + "\",\"verdict\":\"failed\"}\n"));
        EXPECT_EQ(LastRecorded(), "failed/device/phone" + kHandedOver + steps);
    }
}

// A PDA half that fails ends the whole run at once, 1 with the PDA half's
// reason, before any phone half begins; the watchdog is not what ends it.
TEST_F(TotalRunTest, AFailedPdaHalfEndsTheRunWithItsReason) {
    const struct {
        QStringList fault;
        bool imageGone;
        std::string reason, verdict, record;
        // A removal is told either way, by whichever notices it first: the
        // bus that loses the handset, or the download in whatever command
        // meets the loss (the reason then begins with alsoReason).
        std::string alsoReason = {};
    } rows[] = {
        {{"--nak-at", "1"},
         false,
         "ERASE_RAM_CMD: the device answered NAK",
         "failed",
         "failed/device/pda bus:1: pda-image eboot.bin failed,"},
        {{"--disconnect-after", "9"},
         false,
         "the handset left before its download was complete",
         "device-removed",
         "device-removed/removal/pda bus:1: pda-image eboot.bin failed,",
         "the handset was removed during "},
        {{},
         true,
         "cannot open " + set.images.front() + ": No such file or directory",
         "failed",
         "failed/input/pda bus:1:"},
    };
    for (const auto& row : rows) {
        CliProcess total(home.Path());
        total.Start({"total", "--list", QString::fromStdString(set.list), "--bus", Path("bus"),
                     "--port", Path("modem"), "--timeout", "5", "--json"});
        ASSERT_TRUE(total.WaitForFile(dir.File("bus"))) << total.Err();
        if (row.imageGone)
            std::filesystem::remove(set.images.front());
        CliProcess handset(home.Path());
        handset.Start(QStringList{"emulate", "pda", "--bus", Path("bus")} + row.fault);
        EXPECT_EQ(total.Finish(5s), 1) << row.reason << ": " << total.Err();
        handset.Interrupt();
        handset.Finish();
        const std::string other = row.alsoReason.empty() ? row.reason : row.alsoReason;
        const std::string last = "{\"event\":\"total-finished\",\"half\":\"pda\",\"reason\":\"";
        // The last progress line may still follow the reason on stderr.
        EXPECT_THAT(total.Err(), ::testing::AnyOf(HasSubstr("total: " + row.reason + "\n"),
                                                  HasSubstr("total: " + other)));
        EXPECT_THAT(
            total.Out(),
            ::testing::AllOf(
                ::testing::AnyOf(HasSubstr(last + row.reason + "\""), HasSubstr(last + other)),
                ::testing::EndsWith("\",\"verdict\":\"" + row.verdict + "\"}\n")));
        EXPECT_EQ(LastRecorded(), row.record);
    }
}

// The operator's stop is 130 in the PDA half too, not a failed ERASE_RAM_CMD.
TEST_F(TotalRunTest, CtrlCDuringThePdaHalfIsAStop) {
    CliProcess total(home.Path());
    total.Start({"total", "--list", QString::fromStdString(set.list), "--bus", Path("bus"),
                 "--port", Path("modem")});
    ASSERT_TRUE(total.WaitForFile(dir.File("bus"))) << total.Err();
    CliProcess handset(home.Path());
    handset.Start({"emulate", "pda", "--bus", Path("bus"), "--silent-at", "1"});
    ASSERT_TRUE(total.WaitForError("PDA: Device Connected!")) << total.Err();
    total.Interrupt();
    EXPECT_EQ(total.Finish(), 130) << total.Err();
    handset.Finish();
    EXPECT_THAT(handset.Err(), HasSubstr("left after USB_UNLOAD_CMD"));
    // Its image begun or not yet, as the stop meets it.
    EXPECT_THAT(LastRecorded(), ::testing::StartsWith("stopped/operator-stop/pda bus:1:"));
}

} // namespace
} // namespace marlow::phone::test
