// marlow-cli's "uart" and "emulate uart" as a script would use them.

#include "support/temp_dir.h"
#include "support/uart_test_support.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace marlow::uartloader {
namespace {

using marlow::test::ReadFileText;
using marlow::test::TempDir;
using marlow::test::WriteFile;

struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class Cli {
public:
    void Start(const QStringList& args) {
        process_.setProgram(MARLOW_CLI);
        process_.setArguments(args);
        process_.start();
        ASSERT_TRUE(process_.waitForStarted(10000));
    }
    Finished Wait() {
        EXPECT_TRUE(process_.waitForFinished(60000));
        return {process_.exitCode(), process_.readAllStandardOutput().toStdString(),
                process_.readAllStandardError().toStdString()};
    }
    void Signal(int signal) { ::kill(static_cast<pid_t>(process_.processId()), signal); }
    QProcess& Process() { return process_; }

private:
    QProcess process_;
};

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
        while (!std::filesystem::is_symlink(link.toStdString()) &&
               handset.Process().state() == QProcess::Running)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    test::RoleFiles files;
    std::string listPath;
    QString link;
    void ExpectDisconnected(const Finished& run, int exitCode);

    Cli handset;
    Cli tool;
};

TEST_F(UartCommands, AFullRunPrintsOnlyTheLogAndExitsZero) {
    StartHandset({"--pace", "--out", QString::fromStdString(files.dir.File("got"))});
    const std::string logFile = files.dir.File("run.txt");
    tool.Start({"uart", "--port", link, "--total-write", "--stm", QString::fromStdString(listPath),
                "--log", QString::fromStdString(logFile)});
    const Finished run = tool.Wait();
    const Finished emulated = handset.Wait();

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(emulated.exitCode, 0) << emulated.out << emulated.err;
    EXPECT_TRUE(run.out.starts_with("Connected to " + link.toStdString() + " port.\r\n"));
    EXPECT_TRUE(run.out.ends_with("$$$ Flashing complete\r\n\r\n" + link.toStdString() +
                                  " port is disconnected.\r\n"));
    EXPECT_EQ(ReadFileText(logFile), run.out);
    EXPECT_NE(run.err.find("Current Download File : role3.bin"), std::string::npos);
    EXPECT_EQ(marlow::test::ReadFileBytes(files.dir.File("got/xloader.bin")), files.contents[3]);
    EXPECT_NE(emulated.out.find("result: passed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(link.toStdString()));
}

TEST_F(UartCommands, JsonModePrintsOneEventPerLine) {
    StartHandset({"--script", "ping,done:fine"});
    tool.Start({"uart", "--port", link, "--stm", QString::fromStdString(listPath), "--json"});
    const Finished run = tool.Wait();
    handset.Wait();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("{\"event\":\"log-cleared\"}\n"));
    EXPECT_NE(run.out.find("{\"event\":\"log\",\"text\":\"$$$ fine\\r\\n\"}\n"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("{\"event\":\"result\",\"outcome\":\"done\"}\n"));
}

TEST_F(UartCommands, AFailedRunExitsNonZero) {
    StartHandset({"--header-ack", "1", "--script", "flash:adl"});
    tool.Start({"uart", "--port", link, "--stm", QString::fromStdString(listPath)});
    const Finished run = tool.Wait();
    const Finished emulated = handset.Wait();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("ERROR: Invalid ACK\r\n"), std::string::npos);
    EXPECT_EQ(emulated.exitCode, 1);
}

// A signal, or a silence of --timeout seconds, disconnects like the
// operator's "Disconnect"; the exit code tells which.
TEST_F(UartCommands, StopsEndTheRunCleanlyWithTheirOwnCodes) {
    const struct {
        int signal; // 0: none, --timeout ends the run
        int exitCode;
    } stops[] = {{SIGINT, 130}, {SIGTERM, 143}, {0, 4}};
    for (const auto& stop : stops) {
        StartHandset({"--silent-boot-rom"});
        tool.Start({"uart", "--port", link, "--separate-write", "--timeout",
                    stop.signal != 0 ? "0" : "1"});
        ASSERT_TRUE(tool.Process().waitForReadyRead(10000));
        if (stop.signal != 0)
            tool.Signal(stop.signal);
        ExpectDisconnected(tool.Wait(), stop.exitCode);
        handset.Wait();
    }
}

void UartCommands::ExpectDisconnected(const Finished& run, int exitCode) {
    EXPECT_EQ(run.exitCode, exitCode) << run.err;
    const std::string port = link.toStdString();
    EXPECT_TRUE(run.out.ends_with(port + " port is disconnected.\r\n" +
                                  "\r\nFailed to receive any data from the device.\r\n" + port +
                                  " port is disconnected.\r\n"))
        << run.out;
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
        Cli cli;
        cli.Start(row.args);
        EXPECT_EQ(cli.Wait().exitCode, row.exitCode);
    }
    EXPECT_FALSE(std::filesystem::exists(missingFolder.toStdString()));
}

} // namespace
} // namespace marlow::uartloader
