// Our download library, loaded for real, against the modem emulator on a
// pseudo-terminal: the engine's runs end to end, faults included.

#include "emulators/modem_emulator.h"
#include "phone/phone_engine.h"
#include "phone/vendor_library.h"
#include "phone_fakes.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace marlow::phone::test {
namespace {

using emulators::ModemEmulator;
using emulators::ModemFaults;
using marlow::test::ReadFileBytes;
using marlow::test::WriteFile;
using ::testing::HasSubstr;

class StandInModemTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& [name, size] : {std::pair{"psi.flb", 3000},
                                         {"slb.flb", 9000},
                                         {"modem.fls", 300000},
                                         {"modem.eep", 700}})
            WriteFile(dir.File(name), marlow::test::PatternBytes(size, name[0]));
        WriteFile(dir.File("modem.brx"), "+psi.flb\n+slb.flb\n+modem.fls\n+modem.eep\n");
        Result<std::unique_ptr<VendorLibrary>> loaded = LoadDownloadLibrary(MARLOW_STANDIN_LIBRARY);
        ASSERT_TRUE(loaded) << loaded.Error();
        library = std::move(*loaded);
    }

    void StartModem(ModemFaults faults) {
        emulators::ModemEmulatorOptions options;
        options.faults = faults;
        options.storeDirectory = store.Path();
        auto started = ModemEmulator::Start(dir.File("modem-link"), options);
        ASSERT_TRUE(started) << started.Error();
        modem = std::move(*started);
    }

    // The main window's run on the modem's fixed port, opened at the first poll.
    void StartMainRun() {
        PhoneEngineSetup setup;
        setup.library = library.get();
        setup.events = &out;
        setup.clock = &clock;
        setup.ownerThread = &ownerThread;
        setup.ports = &port;
        engine = std::make_unique<PhoneEngine>(std::move(setup));
        ASSERT_TRUE(engine->StartMainWindowRun(dir.File("modem.brx"), PhoneStart::Command));
        engine->PollPort();
    }

    // Runs the owner's thread until the run has ended.
    void RunToTheEnd() {
        while (out.ends.empty())
            ASSERT_TRUE(ownerThread.WaitAndRunOne()) << "the run stopped moving";
    }

    void RunUntilState(PhoneState state) {
        while (engine->Inst().state != state)
            ASSERT_TRUE(ownerThread.WaitAndRunOne()) << "the run stopped moving";
    }

    std::string LastMessageBox() const {
        const std::vector<std::string> boxes = out.On("box");
        return boxes.empty() ? "" : boxes.back().substr(0, boxes.back().rfind('|'));
    }

    marlow::test::TempDir dir;
    marlow::test::TempDir store;
    std::unique_ptr<VendorLibrary> library;
    std::unique_ptr<ModemEmulator> modem;
    Journal calls;
    FakeClock clock{calls};
    RecordingPhoneEvents out;
    ManualOwnerThread ownerThread;
    FixedPhonePort port{dir.File("modem-link")};
    std::unique_ptr<PhoneEngine> engine;
};

TEST_F(StandInModemTest, WholeRunDeliversTheFourFilesIntact) {
    StartModem({});
    StartMainRun();
    RunToTheEnd();

    ASSERT_EQ(out.ends, std::vector<PhoneRunEnd>{PhoneRunEnd::Succeeded}) << LastMessageBox();
    EXPECT_EQ(out.Count("trace|\n Phone Downloaded Successfully! \n"), 1);
    EXPECT_EQ(out.Count("bar|100"), 4);
    const auto files = modem->Files();
    ASSERT_EQ(files.size(), 4u);
    for (const char* name : {"psi.flb", "slb.flb", "modem.fls", "modem.eep"})
        EXPECT_EQ(ReadFileBytes(store.File(name)), ReadFileBytes(dir.File(name))) << name;
    EXPECT_EQ(files[3].kind, modemlink::FileKind::Eep);
    EXPECT_EQ(modem->EndsOfProcess(), 1);
    EXPECT_FALSE(engine->Inst().port_open);
}

// Each fault fails the run with its reason and frees the port: the modem's
// own faults, and files the library cannot send (a folder, a device that
// would never end), which fail their part, never the process.
struct RunFault {
    ModemFaults faults;
    const char* role;   // a file made unsendable, or ""
    bool folder;        // else a link to /dev/zero
    const char* label;  // after "trace|"
    const char* reason; // in the message box
};

void PrintTo(const RunFault& fault, std::ostream* os) {
    *os << fault.role << " " << fault.reason;
}

class RunFaultTest : public StandInModemTest, public ::testing::WithParamInterface<RunFault> {};

TEST_P(RunFaultTest, FailsTheRunWithItsReason) {
    const RunFault& row = GetParam();
    if (*row.role != '\0') {
        std::filesystem::remove(dir.File(row.role));
        if (row.folder)
            std::filesystem::create_directory(dir.File(row.role));
        else
            std::filesystem::create_symlink("/dev/zero", dir.File(row.role));
    }
    StartModem(row.faults);
    StartMainRun();
    RunToTheEnd();
    EXPECT_EQ(out.ends.back(), PhoneRunEnd::Failed);
    EXPECT_EQ(out.Count(std::string("trace|") + row.label), 1);
    EXPECT_THAT(LastMessageBox(), HasSubstr(*row.role != '\0' ? dir.File(row.role) : ""));
    EXPECT_THAT(LastMessageBox(), HasSubstr(row.reason));
    EXPECT_FALSE(engine->Inst().port_open);
    if (row.faults.failPart == 3) {
        EXPECT_EQ(modem->Files().size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ModemOrFile, RunFaultTest,
    ::testing::Values(
        RunFault{{.refuseBoot = true}, "", false, "Boot Failed", "Boot refused by the modem"},
        RunFault{{.failPart = 3}, "", false, "Failed (EEP)", "Flash write failed: modem.fls"},
        RunFault{{.vanishAtPart = 2}, "", false, "Boot Failed", "The modem link has gone"},
        RunFault{{}, "modem.fls", true, "Boot Failed", "is a folder"},
        RunFault{{}, "slb.flb", false, "Boot Failed", "up to 4294967295 bytes"},
        RunFault{{}, "modem.eep", true, "Failed (EEP)", "is a folder"}));

TEST_F(StandInModemTest, PortThatIsNoTerminalCannotBeOpened) {
    std::filesystem::create_directory(dir.File("modem-link"));
    StartMainRun();
    EXPECT_EQ(out.Count("trace|if(!OpenPort(inst))"), 1);
    EXPECT_THAT(out.Calls(), ::testing::Contains(HasSubstr("cannot open")));
    EXPECT_FALSE(engine->Inst().port_open);
}

TEST_F(StandInModemTest, CancelDuringTheFirmwareStopsTheModemAndFreesThePort) {
    StartModem({});
    StartMainRun();
    RunUntilState(stDownloadFls);
    while (out.Calls().back() == "bar|0")
        ASSERT_TRUE(ownerThread.WaitAndRunOne());
    engine->CancelMainWindowRun();
    EXPECT_EQ(engine->Inst().state, stIdle);
    EXPECT_FALSE(engine->Inst().port_open);
    EXPECT_EQ(modem->Files().size(), 2u);

    // The port is free again: a new run goes through.
    ownerThread.RunAll();
    ASSERT_TRUE(engine->StartMainWindowRun(dir.File("modem.brx"), PhoneStart::Command));
    engine->PollPort();
    RunToTheEnd();
    EXPECT_EQ(out.ends.back(), PhoneRunEnd::Succeeded) << LastMessageBox();
    EXPECT_GE(modem->Aborts(), 1);
}

} // namespace
} // namespace marlow::phone::test
