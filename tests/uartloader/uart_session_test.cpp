// Whole runs of the loader session against the handset emulator over a
// pseudo-terminal, through the real serial port class.

#include "uartloader/loader_session.h"

#include "emulators/in_process_handset.h"
#include "support/uart_test_support.h"
#include "uartloader/request_codes.h"
#include "uartloader/uart_port.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace marlow::uartloader {
namespace {

using emulators::UartEmulatorOptions;
using emulators::UartEmulatorReport;
using std::chrono::milliseconds;
using test::DisconnectLine;
using test::ExpectedDefaultLog;
using test::PtyHandset;
using test::RecordingSink;

// A 115200-baud cable: each 2052-byte frame is 196 ms on the line, longer
// than the 100 ms its acknowledgement may take once the frame is out.
UartEmulatorOptions AtCableSpeed() {
    UartEmulatorOptions options;
    options.paceBaudRate = 115200;
    return options;
}

UartEmulatorOptions Script(const std::string& script) {
    UartEmulatorOptions options;
    options.script = *emulators::ParseUartScript(script);
    return options;
}

class LoaderRun : public ::testing::Test {
protected:
    // Every port is watched; a failure row may make one of its writes fail.
    LoaderRun()
        : session(sink, [this](const std::string& name) {
              return std::make_unique<test::WatchedTransport>(std::make_unique<CUartPort>(name),
                                                              record, failingWrite);
          }) {
        test::WriteRoleFiles(files);
        session.Settings() = test::SeparateWriteSettings(files);
        session.SetTotalWriteMode(false);
    }

    // The verdict of the run's one RunFinished.
    std::optional<Verdict> RunAgainst(PtyHandset& handset) {
        session.Settings().port = handset.PortPath();
        EXPECT_TRUE(session.Connect());
        session.WaitForRunEnd();
        const std::vector<RunFinished> ends = sink.Ends();
        EXPECT_EQ(ends.size(), 1u);
        return ends.empty() ? std::nullopt : std::optional(ends.back().verdict);
    }

    // The partition the handset asked for with `code` came whole from the
    // file of `row`.
    void ExpectPartition(const UartEmulatorReport& report, std::uint32_t code, std::size_t row,
                         std::uint32_t entryPoint, std::uint32_t extAddress) {
        SCOPED_TRACE(RequestName(code));
        const auto p =
            std::ranges::find(report.partitions, code, &emulators::UartPartitionImage::requestCode);
        ASSERT_NE(p, report.partitions.end());
        EXPECT_TRUE(p->complete);
        EXPECT_EQ(p->header.size, files.contents[row].size());
        EXPECT_EQ(p->header.entryPoint, entryPoint);
        EXPECT_EQ(p->header.extAddress, extAddress);
        EXPECT_EQ(p->frames, (files.contents[row].size() + 2047) / 2048);
        EXPECT_EQ(p->data, files.contents[row]);
    }

    test::RoleFiles files;
    RecordingSink sink;
    test::WatchedTransport::Record record;
    int failingWrite = -1;
    UartLoaderSession session;
};

TEST_F(LoaderRun, SeparateWriteDeliversEveryFileByteForByte) {
    PtyHandset handset(AtCableSpeed());
    EXPECT_EQ(RunAgainst(handset), Verdict::Passed);
    const UartEmulatorReport report = handset.Report();
    EXPECT_TRUE(report.Passed()) << emulators::SummariseUartReport(report);

    EXPECT_EQ(report.secondStage, files.contents[0]);
    EXPECT_EQ(report.extMemInit, files.contents[1]);
    ASSERT_TRUE(report.flasher);
    EXPECT_EQ(report.flasher->data, files.contents[2]);
    EXPECT_EQ(report.flasher->entryPoint, 0x1000u);
    EXPECT_EQ(report.flasher->executionAddress, 0x2000u);
    ExpectPartition(report, REQ_FLASH_XLOADER, 3, 0x30, 0x300000);
    ExpectPartition(report, REQ_FLASH_EXT_MEM_INIT, 4, 0x40, 0x400000);
    ExpectPartition(report, REQ_FLASH_ADL, 5, 0x50, 0x500000);
    ExpectPartition(report, REQ_FLASH_PRODUCTION, 6, 0x60, 0x600000);
    ExpectPartition(report, REQ_FLASH_NORMAL, 7, 0x70, 0x700000);
    EXPECT_EQ(report.pingReplies, std::vector<std::uint8_t>{1});
    EXPECT_EQ(report.bytesAfterEnd, 0u);

    const std::string port = handset.PortPath();
    EXPECT_EQ(sink.LogText(), ExpectedDefaultLog(port));
    EXPECT_EQ(session.LogText(), sink.LogText());
    EXPECT_TRUE(sink.MessageBoxes().empty());
    for (int bar : {0, 1, 2, 3, 5, 6, 7}) {
        const std::vector<int> steps = sink.Progress(bar);
        EXPECT_TRUE(std::ranges::is_sorted(steps) && steps.back() == 100) << "bar " << bar;
    }
    EXPECT_EQ(sink.Progress(4), (std::vector<int>{0, 0})); // a 0-byte partition
    EXPECT_EQ(sink.Progress(8), (std::vector<int>{0, 0}));
    EXPECT_EQ(sink.CurrentFiles().back(), "Comport is disconnected.");
    EXPECT_FALSE(session.IsConnected());

    const std::vector<LoaderEvent> shown = sink.ShownEvents();
    ASSERT_GT(shown.size(), 6u);
    const std::vector<LoaderEvent> closing = {LogAppended{"\r\n"},
                                              ProgressChanged{8, 0},
                                              ConnectEnabled{true},
                                              LogAppended{DisconnectLine(port)},
                                              CurrentFileChanged{"Comport is disconnected."},
                                              RunFinished{Verdict::Passed, ""}};
    EXPECT_EQ(std::vector<LoaderEvent>(shown.end() - 6, shown.end()), closing);
    EXPECT_EQ(sink.Diagnostics().front(), "warning: " + port +
                                              " is a pseudo-terminal, which cannot carry "
                                              "parity; running without it");
}

TEST_F(LoaderRun, TotalWriteTakesTheListAndTheTotalWriteAddressForTheNormalImage) {
    std::string list;
    for (int row = 0; row < 8; ++row)
        list += "-role" + std::to_string(row) + ".bin\r\n";
    const std::string listPath = files.dir.File("set.stm");
    marlow::test::WriteFile(listPath, list);
    // The file fields name nothing that exists: only the list counts.
    for (std::size_t row = 0; row < 8; ++row)
        session.Settings().rows[row].path = files.dir.File("absent.bin");
    session.Settings().rows[7].extAddress = "1234";
    session.Settings().rows[8].extAddress = "3D00000";
    session.Settings().rows[2].entryPoint = ""; // sent as zero
    session.Settings().rows[2].extAddress = "3D00000";
    session.SetTotalWriteMode(true);
    const StmReadResult read = session.ReadStmList(listPath);
    EXPECT_EQ(read.entryCount, 8u);
    EXPECT_FALSE(session.ListInvalid());

    // Which bar a Total Write drives is the file senders' tests' matter.
    PtyHandset handset;
    EXPECT_EQ(RunAgainst(handset), Verdict::Passed);
    const UartEmulatorReport report = handset.Report();
    EXPECT_TRUE(report.Passed()) << emulators::SummariseUartReport(report);
    ExpectPartition(report, REQ_FLASH_XLOADER, 3, 0x30, 0x300000);
    ExpectPartition(report, REQ_FLASH_NORMAL, 7, 0x70, 0x03D00000);
    ASSERT_TRUE(report.flasher);
    EXPECT_EQ(report.flasher->entryPoint, 0u);
    EXPECT_EQ(report.flasher->executionAddress, 0x03D00000u);
    EXPECT_EQ(sink.LogText(), ExpectedDefaultLog(handset.PortPath()));
    // The labels show each list name while its file is open, partitions in
    // the order the handset asked for them.
    EXPECT_EQ(sink.CurrentFiles(),
              (std::vector<std::string>{"role0.bin", "role1.bin", "role2.bin", "role3.bin",
                                        "role7.bin", "role5.bin", "role6.bin", "role4.bin",
                                        "Comport is disconnected."}));
}

// An unknown request code is ignored; every ping is answered.
TEST_F(LoaderRun, AnUnknownRequestCodeIsIgnoredAndEveryPingIsAnswered) {
    PtyHandset handset(Script("code:0xA0300005,ping,text:between,ping,ping,done:fine"));
    EXPECT_EQ(RunAgainst(handset), Verdict::Passed);
    EXPECT_TRUE(handset.Report().Passed());
    EXPECT_EQ(handset.Report().pingReplies, (std::vector<std::uint8_t>{1, 1, 1}));
    EXPECT_EQ(sink.LogText().find("ERROR"), std::string::npos);
    const auto diagnostics = sink.Diagnostics();
    EXPECT_NE(
        std::find(diagnostics.begin(), diagnostics.end(), "ignored unknown request 0xA0300005"),
        diagnostics.end());
}

TEST_F(LoaderRun, AnInvalidListRefusesTheRunWithoutTalkingToTheHandset) {
    const std::string listPath = files.dir.File("broken.stm");
    marlow::test::WriteFile(listPath, "-role0.bin\n\n-role1.bin\n");
    session.SetTotalWriteMode(true);
    session.ReadStmList(listPath);
    EXPECT_TRUE(session.ListInvalid());
    EXPECT_EQ(sink.MessageBoxes(), (std::vector<std::string>{"Error : Invalid  *.stm File",
                                                             "End: File decoding  *.stm File"}));

    PtyHandset handset(Script("done:never"));
    EXPECT_EQ(RunAgainst(handset), Verdict::Failed);
    const std::string port = handset.PortPath();
    EXPECT_EQ(sink.LogText(), "Connected to " + port + " port.\r\n" +
                                  "\r\nError : Invalid *.stm File!!!\r\n" + DisconnectLine(port));
    EXPECT_EQ(sink.MessageBoxes().back(), "Error : Invalid  *.stm File");
    const UartEmulatorReport report = handset.Report();
    EXPECT_TRUE(report.hostOpened);
    EXPECT_FALSE(report.bootIndication);
}

bool IsProgressOn(const LoaderEvent& e, int bar) {
    const auto* p = std::get_if<ProgressChanged>(&e);
    return p != nullptr && p->bar == bar && p->percent > 0;
}

// Sessions on the in-process link, the handset emulator on its device end
// playing one run after another; every port made is watched.
class InProcessRun : public ::testing::Test {
protected:
    static UartEmulatorOptions Silent() {
        UartEmulatorOptions options;
        options.bootRomSilent = true;
        return options;
    }
    UartLoaderSession::TransportFactory Watched() {
        return [this](const std::string& name) {
            return std::make_unique<test::WatchedTransport>(handset.link.MakeHostEnd(name),
                                                            records[made++]);
        };
    }
    void ExpectEveryPortLetGoCleanly() {
        handset.Stop();
        for (int i = 0; i < made; ++i) {
            EXPECT_TRUE(records[i].closed) << i;
            EXPECT_FALSE(records[i].foreignThreadIo) << i;
            EXPECT_FALSE(records[i].ioAfterClose) << i;
        }
    }

    emulators::test::InProcessHandset handset;
    std::vector<UartEmulatorReport>& reports = handset.reports;
    RecordingSink sink;
    std::array<test::WatchedTransport::Record, 2> records;
    std::atomic<int> made{0};
};

// A disconnect during a partition stops its transfer; a new connect waits
// for that run, which never touches the new port.
TEST_F(InProcessRun, ANewConnectWaitsForTheOldRunWhichNeverTouchesTheNewPort) {
    test::RoleFiles files;
    test::WriteRoleFiles(files, {300, 200, 2148, 1 << 20, 0, 2048, 1, 4097});
    handset.Emulate({Script("flash:xloader,done:never"), Script("ping,done:second")});
    {
        UartLoaderSession session(sink, Watched());
        session.Settings() = test::SeparateWriteSettings(files);
        session.SetTotalWriteMode(false);
        ASSERT_TRUE(session.Connect());
        ASSERT_TRUE(sink.WaitFor([](const LoaderEvent& e) { return IsProgressOn(e, 3); }));
        session.Disconnect();
        ASSERT_TRUE(session.Connect());
        session.WaitForRunEnd();
    }
    ExpectEveryPortLetGoCleanly();
    EXPECT_EQ(made, 2);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[0].partitions.at(0).complete);
    EXPECT_TRUE(reports[0].problems.empty());
    EXPECT_TRUE(reports[1].Passed()) << emulators::SummariseUartReport(reports[1]);
    // The old run had told its end, stopped in the transfer, before the new
    // one cleared the log; the new one passed.
    const std::vector<LoaderEvent> events = sink.ShownEvents();
    const auto secondClear = std::find(events.rbegin(), events.rend(), LoaderEvent(LogCleared{}));
    ASSERT_NE(secondClear, events.rend());
    const auto* oldEnd = std::get_if<RunFinished>(&*(secondClear + 1));
    ASSERT_NE(oldEnd, nullptr);
    EXPECT_EQ(oldEnd->verdict, Verdict::Stopped);
    EXPECT_EQ(sink.Ends().back(), (RunFinished{Verdict::Passed, ""}));
    EXPECT_TRUE(sink.LogText().starts_with("Connected to COM1 port.\r\n\r\nReceived ASIC ID"));
    EXPECT_TRUE(sink.LogText().ends_with("$$$ second\r\n\r\nCOM1 port is disconnected.\r\n"));
    std::string firstLog; // up to the second clear
    for (auto e = events.begin(); e != secondClear.base() - 1; ++e)
        if (const auto* appended = std::get_if<LogAppended>(&*e))
            firstLog += appended->text;
    EXPECT_TRUE(firstLog.ends_with(DisconnectLine("COM1") + "ERROR: TransmitFileParity\r\n" +
                                   DisconnectLine("COM1")))
        << firstLog;
}

// A "Disconnect", or the dialog closing while the run waits for the ASIC ID,
// stops the run and waits for it; a second "Connect" meanwhile starts none.
TEST_F(InProcessRun, ADisconnectOrClosingStopsTheRunAndWaitsForIt) {
    handset.Emulate({Silent(), Silent()});
    for (const bool disconnect : {true, false}) {
        {
            UartLoaderSession session(sink, Watched());
            ASSERT_TRUE(session.Connect());
            EXPECT_TRUE(session.Connect());
            EXPECT_EQ(made, disconnect ? 1 : 2); // no second run
            if (disconnect)
                session.Disconnect();
        }
        EXPECT_EQ(sink.LogText(), "Connected to COM1 port.\r\nCOM1 port is disconnected.\r\n"
                                  "\r\nFailed to receive any data from the device.\r\n"
                                  "COM1 port is disconnected.\r\n");
    }
    ExpectEveryPortLetGoCleanly();
    EXPECT_EQ(made, 2);
    const std::vector<LoaderEvent> events = sink.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), LoaderEvent(LogCleared{})), 2);
    const RunFinished stopped{Verdict::Stopped, "ASIC ID: stopped: the port was disconnected"};
    EXPECT_EQ(sink.Ends(), (std::vector{stopped, stopped}));
}

// Every failure of a run, each with the message that ends its log ----------

struct FailureCase {
    using HandsetFault = std::function<void(UartEmulatorOptions&)>;
    using FieldEdit = std::function<void(LoaderSettings&, const test::RoleFiles&)>;
    using TimeoutEdit = std::function<void(UartTimeouts&)>;

    const char* name = "";
    std::string message; // the run's last log text
    std::string script;  // empty: the full default script
    HandsetFault handset = [](UartEmulatorOptions&) {};
    FieldEdit fields = [](LoaderSettings&, const test::RoleFiles&) {};
    int failingWrite = -1;
    TimeoutEdit timeouts = [](UartTimeouts&) {};
    std::vector<std::string> boxes;
    std::string diagnostic; // empty: not checked

    FailureCase(const char* caseName, std::string runMessage)
        : name(caseName), message(std::move(runMessage)) {}
    FailureCase Script(std::string s) const { return With(&FailureCase::script, s); }
    FailureCase Handset(HandsetFault f) const { return With(&FailureCase::handset, f); }
    FailureCase Fields(FieldEdit f) const { return With(&FailureCase::fields, f); }
    FailureCase FailingWrite(int n) const { return With(&FailureCase::failingWrite, n); }
    FailureCase Timeouts(TimeoutEdit f) const { return With(&FailureCase::timeouts, f); }
    FailureCase Boxes(std::vector<std::string> b) const { return With(&FailureCase::boxes, b); }
    FailureCase Diagnostic(std::string d) const { return With(&FailureCase::diagnostic, d); }

private:
    template <class Field> FailureCase With(Field FailureCase::*field, Field value) const {
        FailureCase copy = *this;
        copy.*field = std::move(value);
        return copy;
    }
};

std::ostream& operator<<(std::ostream& os, const FailureCase& c) {
    return os << c.name;
}

// Writes of a run with the default files: 0 boot indication, 1 2nd boot
// size, 2-301 its bytes; then, for the default script, 302 ExtMemInit size,
// 303-502 its bytes, 503 flasher size, 504 entry point, 505 execution
// address, 506-508 flasher chunks, 509 ping reply.
constexpr int kFirstRequestWrite = 302;

std::string MissingFile(const test::RoleFiles& files) {
    return files.dir.File("missing.bin");
}

const FailureCase kFailureCases[] = {
    FailureCase("AsicIdNeverCame", "\r\nFailed to receive any data from the device.\r\n")
        .Script("done:never")
        .Handset([](UartEmulatorOptions& o) { o.bootRomSilent = true; })
        .Timeouts([](UartTimeouts& t) { t.firstBytes = milliseconds(200); }),
    FailureCase("AsicIdPatternAtThirteen", "\r\nFailed to find ASIC ID.\r\n")
        .Script("done:never")
        .Handset([](UartEmulatorOptions& o) { o.asicPosition = 13; }),
    FailureCase("BootIndicationNotSent", "\r\nFailed to send Boot Indication.\r\n").FailingWrite(0),
    FailureCase("SecondBootMissing", "\r\nFailed to open 2nd boot binary file.\r\n")
        .Fields(
            [](LoaderSettings& s, const test::RoleFiles& f) { s.rows[0].path = MissingFile(f); })
        .Boxes(std::vector<std::string>{"Please Check for Binary Files...Retry!!!"}),
    FailureCase("SecondBootSizeNotSent", "\r\nError.\r\n").FailingWrite(1),
    FailureCase("SecondBootNotSent", "\r\nFailed to send 2nd boot binary file.\r\n")
        .FailingWrite(2),
    FailureCase("NoRequestInTime", "ERROR: in RX DATA\r\n")
        .Script("silence")
        .Timeouts([](UartTimeouts& t) { t.request = milliseconds(200); })
        .Diagnostic("request code: no reply in time (waited 200 ms)"),
    FailureCase("MessageLongerThanTheBuffer", "ERROR: in RX DATA\r\n")
        .Script("long-text:1025")
        .Diagnostic(
            "REQ_TEXT_MESSAGE length: 1025 bytes is more than the 1024-byte receive buffer"),
    FailureCase("HandsetVanished", "ERROR: in RX DATA\r\n")
        .Script("ping,vanish")
        .Diagnostic("request code: the device has gone (cable pulled or device switched off?)"),
    FailureCase("ExtMemInitMissing", "ERROR: Failed to open ExtMemInit File.\r\n")
        .Fields(
            [](LoaderSettings& s, const test::RoleFiles& f) { s.rows[1].path = MissingFile(f); }),
    FailureCase("ExtMemInitSizeNotSent", "ERROR: in TX DATA\r\n").FailingWrite(kFirstRequestWrite),
    FailureCase("ExtMemInitNotSent", "ERROR: Failed to transmit ExtMemInit File.\r\n")
        .FailingWrite(kFirstRequestWrite + 1),
    FailureCase("FlasherMissing", "ERROR: Failed to open Flasher File.\r\n")
        .Fields(
            [](LoaderSettings& s, const test::RoleFiles& f) { s.rows[2].path = MissingFile(f); }),
    FailureCase("FlasherSizeNotSent", "ERROR: in TX DATA\r\n").FailingWrite(503),
    FailureCase("FlasherSizeEchoMissing", "ERROR: in RX DATA\r\n")
        .Script("code:0xA0300001,silence"),
    FailureCase("FlasherSizeEchoWrong", "ERROR: Size doesn't match.\r\n")
        .Handset([](UartEmulatorOptions& o) { o.faults.sizeEchoDelta = 1; })
        .Diagnostic("boot flasher size echo: the handset echoed 0x00000865 for 0x00000864"),
    FailureCase("FlasherAddressInLowerCase", "ERROR: HexStringToDword\r\n")
        .Fields([](LoaderSettings& s, const test::RoleFiles&) { s.rows[2].entryPoint = "abc"; }),
    FailureCase("FlasherExecutionAddressInLowerCase", "ERROR: HexStringToDword\r\n")
        .Fields(
            [](LoaderSettings& s, const test::RoleFiles&) { s.rows[2].extAddress = "3d00000"; }),
    FailureCase("FlasherEntryPointNotSent", "ERROR: TransmitData\r\n").FailingWrite(504),
    FailureCase("FlasherExecutionAddressNotSent", "ERROR: TransmitData\r\n").FailingWrite(505),
    FailureCase("FlasherImageNotSent", "ERROR: TransmitFileSimple\r\n").FailingWrite(507),
    FailureCase("PingNotAnswered", "ERROR: in TX DATA\r\n")
        .Script("ping")
        .FailingWrite(kFirstRequestWrite),
    FailureCase("FlashWordMissing", "ERROR: in RX DATA\r\n").Script("code:0xA0400000,silence"),
    FailureCase("PartitionFileMissing",
                "ERROR: Failed to open file: " + std::string("<missing>") + "\r\n")
        .Script("flash:xloader")
        .Fields(
            [](LoaderSettings& s, const test::RoleFiles& f) { s.rows[3].path = MissingFile(f); }),
    FailureCase("PartitionAddressInLowerCase", "ERROR: HexStringToDword\r\n")
        .Script("flash:adl")
        .Fields([](LoaderSettings& s, const test::RoleFiles&) { s.rows[5].extAddress = "3d"; }),
    FailureCase("PartitionAddressTooLong", "ERROR: HexStringToDword\r\n")
        .Script("flash:adl")
        .Fields(
            [](LoaderSettings& s, const test::RoleFiles&) { s.rows[5].entryPoint = "123456789"; }),
    FailureCase("PartitionHeaderNotSent", "ERROR: in TX DATA\r\n")
        .Script("flash:xloader")
        .FailingWrite(kFirstRequestWrite),
    FailureCase("PartitionHeaderUnacknowledged", "ERROR: in RX DATA\r\n")
        .Script("flash:xloader")
        .Handset([](UartEmulatorOptions& o) { o.faults.omitHeaderAck = true; }),
    FailureCase("PartitionHeaderRefused", "ERROR: Invalid ACK\r\n")
        .Script("flash:xloader")
        .Handset([](UartEmulatorOptions& o) { o.faults.headerAck = 1; }),
    FailureCase("PartitionFrameRefused", "ERROR: TransmitFileParity\r\n")
        .Script("flash:xloader")
        .Handset([](UartEmulatorOptions& o) {
            o.faults.frameAck = 1;
            o.faults.faultFrame = 1;
        }),
    FailureCase("PartitionFrameUnacknowledged", "ERROR: TransmitFileParity\r\n")
        .Script("flash:xloader")
        .Handset([](UartEmulatorOptions& o) { o.faults.omitFrameAck = true; }),
    FailureCase("PartitionFrameNotSent", "ERROR: TransmitFileParity\r\n")
        .Script("flash:xloader")
        .FailingWrite(kFirstRequestWrite + 1),
};

class LoaderRunFailure : public LoaderRun, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LoaderRunFailure, EndsTheLogWithItsMessageThenTheDisconnect) {
    const FailureCase& c = GetParam();
    c.fields(session.Settings(), files);
    UartTimeouts timeouts;
    c.timeouts(timeouts);
    session.SetTimeouts(timeouts);
    failingWrite = c.failingWrite;
    UartEmulatorOptions options;
    if (!c.script.empty())
        options = Script(c.script);
    c.handset(options);
    PtyHandset handset(options);
    EXPECT_EQ(RunAgainst(handset), Verdict::Failed);

    std::string message = c.message;
    if (const auto at = message.find("<missing>"); at != std::string::npos)
        message.replace(at, 9, MissingFile(files));
    const std::string log = sink.LogText();
    EXPECT_TRUE(log.ends_with(message + DisconnectLine(handset.PortPath()))) << log;
    EXPECT_EQ(log.find(message),
              log.size() - message.size() - DisconnectLine(handset.PortPath()).size());
    EXPECT_EQ(sink.MessageBoxes(), c.boxes);
    if (!c.diagnostic.empty()) {
        EXPECT_EQ(sink.Ends().back().reason, c.diagnostic);
    }
    EXPECT_EQ(sink.CurrentFiles().back(), "Comport is disconnected.");
    EXPECT_FALSE(record.foreignThreadIo);
    EXPECT_FALSE(record.ioAfterClose);
    EXPECT_TRUE(record.closed);
    EXPECT_FALSE(handset.Report().Passed());
}

INSTANTIATE_TEST_SUITE_P(EveryStep, LoaderRunFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace marlow::uartloader
