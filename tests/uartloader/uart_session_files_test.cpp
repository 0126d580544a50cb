// The session's files: "Save Log", and ".mfl" settings through the readers.

#include "uartloader/loader_session.h"

#include "support/uart_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace marlow::uartloader {
namespace {

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

TEST_F(SessionFiles, SaveLogThatCannotCreateItsFileSaysSo) {
    EXPECT_FALSE(session.SaveLog(dir.File("no/such/folder/run.txt")));
    ASSERT_EQ(::mkfifo(dir.File("pipe.txt").c_str(), 0600), 0);
    EXPECT_FALSE(session.SaveLog(dir.File("pipe.txt")));
    EXPECT_EQ(sink.MessageBoxes(), (std::vector<std::string>{"Failed to create file run.txt",
                                                             "Failed to create file pipe.txt"}));
}

// An empty line present empties its field; a last line may lack its end.
TEST_F(SessionFiles, AShortSettingsFileLoadsWhatItHasAndKeepsTheRest) {
    session.Settings().rows[0].extAddress = "77";
    session.Settings().rows[7].path = "changed by hand";
    const LoaderSettings before = session.Settings();
    const std::string path = dir.File("short.mfl");
    WriteFile(path, "COM3\r\n/img/second.bin\r\n\r\n\r\n/img/mem.bin");
    ASSERT_TRUE(session.LoadSettings(path));
    EXPECT_EQ(session.Settings().port, "COM3");
    EXPECT_EQ(session.Settings().rows[0], (FileRow{"/img/second.bin", "", ""}));
    EXPECT_EQ(session.Settings().rows[1].path, "/img/mem.bin");
    EXPECT_EQ(session.Settings().rows[1].extAddress, before.rows[1].extAddress);
    EXPECT_EQ(session.Settings().rows[7], before.rows[7]);
    EXPECT_TRUE(sink.MessageBoxes().empty());
    EXPECT_EQ(sink.LogText(), "short.mfl holds only 5 of 28 lines; the fields after them are left "
                              "as they were\r\n");
}

TEST_F(SessionFiles, DisconnectWithoutARunStillReportsThePort) {
    session.Disconnect();
    EXPECT_EQ(sink.Events(),
              (std::vector<LoaderEvent>{ProgressChanged{8, 0}, ConnectEnabled{true},
                                        LogAppended{"COM1 port is disconnected.\r\n"}}));
}

} // namespace
} // namespace marlow::uartloader
