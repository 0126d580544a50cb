// The session's files: "Save Log", and ".mfl" settings through the readers.

#include "uartloader/loader_session.h"

#include "support/uart_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
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

// A file system that takes no more bytes is played by a file size limit
// of 0: that save fails too, and leaves no file, not even an empty one.
TEST_F(SessionFiles, SaveLogThatCannotBeSavedSaysSoAndLeavesNothing) {
    EXPECT_FALSE(session.SaveLog(dir.File("no/such/folder/run.txt")));
    ASSERT_EQ(::mkfifo(dir.File("pipe.txt").c_str(), 0600), 0);
    EXPECT_FALSE(session.SaveLog(dir.File("pipe.txt")));
    session.Disconnect(); // something to save
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit full{0, before.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    EXPECT_FALSE(session.SaveLog(dir.File("full.txt")));
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(sink.MessageBoxes(), (std::vector<std::string>{"Failed to create file run.txt",
                                                             "Failed to create file pipe.txt",
                                                             "Failed to write file full.txt"}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // pipe.txt
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
