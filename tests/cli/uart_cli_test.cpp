// marlow-cli's "uart" and "emulate uart" as a script would use them; each
// run's record as the store keeps it.

#include "cli_process.h"
#include "recorded_runs.h"
#include "support/temp_dir.h"
#include "support/uart_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace marlow::uartloader {
namespace {

using marlow::test::CliProcess;
using marlow::test::LastRecordedRun;
using marlow::test::ReadFileText;
using marlow::test::TempDir;
using marlow::test::WriteFile;

class UartCommands : public ::testing::Test {
protected:
    UartCommands() {
        test::WriteRoleFiles(files);
        std::string list;
        for (int row = 0; row < 8; ++row)
            list += "-role" + std::to_string(row) + ".bin\n";
        listPath = files.dir.File("set.stm");
        WriteFile(listPath, list);
        link = QString::fromStdString(files.dir.File("handset"));
    }

    // Starts the emulator and waits until its link is there.
    void StartHandset(QStringList extra = {}) {
        handset.Start(QStringList{"emulate", "uart", "--link", link} + extra);
        handset.WaitForFile(link.toStdString());
    }

    std::string Recorded() const { return LastRecordedRun(CliProcess::StorePath(home.Path())); }

    test::RoleFiles files;
    std::string listPath;
    QString link;
    TempDir home;
    CliProcess handset;
    CliProcess tool{home.Path()};
};

TEST_F(UartCommands, AFullRunPrintsOnlyTheLogAndExitsZero) {
    StartHandset({"--pace", "--out", QString::fromStdString(files.dir.File("got"))});
    const std::string logFile = files.dir.File("run.txt");
    tool.Start({"uart", "--port", link, "--total-write", "--stm", QString::fromStdString(listPath),
                "--log", QString::fromStdString(logFile)});
    EXPECT_EQ(tool.Finish(), 0) << tool.Err();
    EXPECT_EQ(handset.Finish(), 0) << handset.Out() << handset.Err();
    EXPECT_TRUE(tool.Out().starts_with("Connected to " + link.toStdString() + " port.\r\n"));
    EXPECT_TRUE(tool.Out().ends_with("$$$ Flashing complete\r\n\r\n" + link.toStdString() +
                                     " port is disconnected.\r\n"));
    EXPECT_EQ(ReadFileText(logFile), tool.Out());
    EXPECT_NE(tool.Err().find("Current Download File : role3.bin"), std::string::npos);
    EXPECT_EQ(marlow::test::ReadFileBytes(files.dir.File("got/xloader.bin")), files.contents[3]);
    EXPECT_NE(handset.Out().find("result: passed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(link.toStdString()));
    std::string steps;
    for (const int row : {0, 1, 2, 3, 7, 5, 6, 4}) // the order the handset asks in
        steps += " uart-file role" + std::to_string(row) + ".bin passed,";
    EXPECT_EQ(Recorded(), "passed// " + link.toStdString() + ":" + steps);
}

TEST_F(UartCommands, JsonModePrintsOneEventPerLine) {
    StartHandset({"--script", "ping,done:fine"});
    tool.Start({"uart", "--port", link, "--stm", QString::fromStdString(listPath), "--json"});
    EXPECT_EQ(tool.Finish(), 0) << tool.Err();
    handset.Finish();
    EXPECT_TRUE(tool.Out().starts_with("{\"event\":\"log-cleared\"}\n"));
    EXPECT_NE(tool.Out().find("{\"event\":\"log\",\"text\":\"$$$ fine\\r\\n\"}\n"),
              std::string::npos);
    EXPECT_TRUE(
        tool.Out().ends_with("{\"event\":\"current-file\",\"text\":\"Comport is disconnected.\"}\n"
                             "{\"event\":\"run-finished\",\"reason\":\"\",\"verdict\":\"passed\"}\n"
                             "{\"event\":\"result\",\"outcome\":\"done\"}\n"))
        << tool.Out();
}

TEST_F(UartCommands, AFailedRunExitsNonZero) {
    StartHandset({"--header-ack", "1", "--script", "flash:adl"});
    tool.Start({"uart", "--port", link, "--stm", QString::fromStdString(listPath)});
    EXPECT_EQ(tool.Finish(), 1);
    EXPECT_NE(tool.Out().find("ERROR: Invalid ACK\r\n"), std::string::npos);
    EXPECT_EQ(handset.Finish(), 1);
    EXPECT_EQ(Recorded(), "failed/device/uart " + link.toStdString() +
                              ": uart-file role0.bin passed, uart-file role5.bin failed,");
}

// A signal, or a silence of --timeout seconds, disconnects like the
// operator's "Disconnect"; the exit code tells which.
TEST_F(UartCommands, StopsEndTheRunCleanlyWithTheirOwnCodes) {
    const struct {
        int signal; // 0: none, --timeout ends the run
        int exitCode;
        std::string recorded;
    } stops[] = {{SIGINT, 130, "stopped/operator-stop/uart"},
                 {SIGTERM, 143, "stopped/operator-stop/uart"},
                 {0, 4, "failed/time-out/uart"}};
    const std::string port = link.toStdString();
    for (const auto& stop : stops) {
        StartHandset({"--silent-boot-rom"});
        CliProcess run(home.Path());
        run.Start({"uart", "--port", link, "--separate-write", "--timeout",
                   stop.signal != 0 ? "0" : "1"});
        ASSERT_TRUE(run.Process().waitForReadyRead(marlow::test::kStuckAfterMs));
        if (stop.signal != 0)
            run.Interrupt(stop.signal);
        EXPECT_EQ(run.Finish(std::chrono::seconds(1)), stop.exitCode) << run.Err();
        EXPECT_TRUE(run.Out().ends_with(port + " port is disconnected.\r\n" +
                                        "\r\nFailed to receive any data from the device.\r\n" +
                                        port + " port is disconnected.\r\n"))
            << run.Out();
        EXPECT_EQ(Recorded(), stop.recorded + " " + port + ":");
        handset.Finish();
    }
}

TEST_F(UartCommands, RefusalsComeBeforeAnyPortIsOpened) {
    const QString missingFolder = QString::fromStdString(files.dir.File("missing/run.txt"));
    const struct {
        QStringList args;
        int exitCode;
    } rows[] = {
        {{"uart", "--separate-write", "--stm", "x.stm"}, 2},
        {{"emulate", "uart", "--link", link, "--script", "flash:nothing"}, 2},
        // There is no COM99: had the port been tried first, this would be 1.
        {{"uart", "--port", "COM99", "--separate-write", "--log", missingFolder}, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        CliProcess cli;
        cli.Start(row.args);
        EXPECT_EQ(cli.Finish(), row.exitCode);
    }
    EXPECT_FALSE(std::filesystem::exists(missingFolder.toStdString()));
}

} // namespace
} // namespace marlow::uartloader
