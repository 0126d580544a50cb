// The session's files: "Save Log", and ".mfl" settings through the readers.

#include "uartloader/loader_session.h"

#include "emulators/uart_in_process_device.h"
#include "uart_test_support.h"
#include "uartloader/in_process_link.h"

#include <gtest/gtest.h>

#include <thread>

namespace marlow::uartloader {
namespace {

using marlow::test::ReadFileText;
using marlow::test::TempDir;
using marlow::test::WriteFile;
using test::RecordingSink;

class SessionFiles : public ::testing::Test {
protected:
    SessionFiles() : session(sink) {}
    TempDir dir;
    RecordingSink sink;
    UartLoaderSession session;
};

TEST_F(SessionFiles, SaveLogWritesTheLogTextUnchanged) {
    test::RoleFiles files;
    test::WriteRoleFiles(files);
    InProcessLink link;
    UartLoaderSession run(sink,
                          [&link](const std::string& name) { return link.MakeHostEnd(name); });
    run.Settings() = test::SeparateWriteSettings(files);
    run.SetTotalWriteMode(false);
    std::thread device([&link] {
        emulators::UartInProcessDevice end(link);
        emulators::UartHandsetEmulator({}).Run(end);
    });
    ASSERT_TRUE(run.Connect());
    EXPECT_EQ(run.WaitForRunEnd(), RunOutcome::Done);
    device.join();

    const std::string path = dir.File("run.txt");
    ASSERT_TRUE(run.SaveLog(path));
    const std::string saved = ReadFileText(path);
    EXPECT_EQ(saved, sink.LogText());
    EXPECT_TRUE(saved.starts_with("Connected to COM1 port.\r\n\r\nReceived ASIC ID\r\n"));
    EXPECT_TRUE(saved.ends_with("\r\nCOM1 port is disconnected.\r\n"));
}

TEST_F(SessionFiles, SaveLogThatCannotCreateItsFileSaysSo) {
    EXPECT_FALSE(session.SaveLog(dir.File("no/such/folder/run.txt")));
    EXPECT_EQ(sink.MessageBoxes(), std::vector<std::string>{"Failed to create file run.txt"});
}

TEST_F(SessionFiles, SettingsSavedAndLoadedComeBackTheSame) {
    session.Settings().portIndex = 4;
    session.Settings().rows[3] = {"/img/xl.bin", "80000", "10"};
    const std::string path = dir.File("set.mfl");
    ASSERT_TRUE(session.SaveSettings(path));
    EXPECT_TRUE(ReadFileText(path).starts_with("COM5\r\n"));

    UartLoaderSession other(sink);
    ASSERT_TRUE(other.LoadSettings(path));
    EXPECT_EQ(other.Settings(), session.Settings());
    EXPECT_EQ(other.PortName(), "COM5");
    EXPECT_TRUE(sink.MessageBoxes().empty());
}

TEST_F(SessionFiles, AShortSettingsFileLoadsWhatItHasAndKeepsTheRest) {
    const LoaderSettings before = session.Settings();
    const std::string path = dir.File("short.mfl");
    WriteFile(path, "COM3\r\n/img/second.bin\r\n");
    ASSERT_TRUE(session.LoadSettings(path));
    EXPECT_EQ(session.Settings().portIndex, 2);
    EXPECT_EQ(session.Settings().rows[0].path, "/img/second.bin");
    EXPECT_EQ(session.Settings().rows[0].extAddress, before.rows[0].extAddress);
    EXPECT_EQ(session.Settings().rows[7], before.rows[7]);
    EXPECT_TRUE(sink.MessageBoxes().empty());
    EXPECT_EQ(sink.LogText(), "short.mfl holds only 2 of 28 lines; the fields after them are left "
                              "as they were\r\n");
}

TEST_F(SessionFiles, ASettingsFileThatCannotBeReadChangesNothing) {
    const LoaderSettings before = session.Settings();
    EXPECT_FALSE(session.LoadSettings(dir.File("absent.mfl")));
    EXPECT_EQ(sink.MessageBoxes(), std::vector<std::string>{"Failed to open file absent.mfl"});
    EXPECT_EQ(session.Settings(), before);
}

TEST_F(SessionFiles, TheSessionStartsLikeTheDialog) {
    EXPECT_EQ(session.Settings(), LoaderSettings::Defaults());
    EXPECT_TRUE(session.TotalWriteMode());
    EXPECT_FALSE(session.ListInvalid());
    EXPECT_EQ(session.PortName(), "COM1");
    EXPECT_FALSE(session.IsConnected());
    session.SetPortName("ttyUSB0");
    EXPECT_EQ(session.PortName(), "ttyUSB0");
}

TEST_F(SessionFiles, DisconnectWithoutARunStillReportsThePort) {
    session.Disconnect();
    std::vector<LoaderEvent> expected;
    expected.emplace_back(ProgressChanged{8, 0});
    expected.emplace_back(ConnectEnabled{true});
    expected.emplace_back(LogAppended{"COM1 port is disconnected.\r\n"});
    EXPECT_EQ(sink.Events(), expected);
}

} // namespace
} // namespace marlow::uartloader
