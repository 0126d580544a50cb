#include "stamp/trailer.h"

#include "support/open_files.h"
#include "support/temp_dir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marlow::stamp {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFile;

TrailerBytes BytesOf(std::string_view text) {
    TrailerBytes bytes{};
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

TEST(TrailerParse, FullFieldsStopAtTheirWidth) {
    const TrailerBytes bytes = BytesOf("ABCDEFGHIJKLMNOvwxyz");
    EXPECT_EQ(ParseTrailer(bytes), (Stamp{"ABCDEFGHIJKLMNO", "vwxyz"}));
}

TEST(TrailerParse, StampedTestStopsScanningAtTheFirstZero) {
    EXPECT_TRUE(LooksStamped(BytesOf(std::string_view("QX100\0\0\0\0\0\0\0\0\0\0Z,!\0\0", 20))));
    EXPECT_FALSE(LooksStamped(BytesOf(std::string_view("QZ100\0\0\0\0\0\0\0\0\0\0V1\0\0\0", 20))));
    EXPECT_TRUE(LooksStamped(TrailerBytes{}));
    EXPECT_TRUE(LooksStamped(BytesOf("abcdefghijklmnopqrst")));
}

TEST(TrailerBuild, RefusesOverlongFieldsInsteadOfCutting) {
    EXPECT_TRUE(BuildTrailer("ABCDEFGHIJKLMN", "1234"));
    const std::string longModel = BuildTrailer("ABCDEFGHIJKLMNO", "1").Error();
    EXPECT_NE(longModel.find("14"), std::string::npos) << longModel;
    const std::string longVersion = BuildTrailer("A", "12345").Error();
    EXPECT_NE(longVersion.find("4"), std::string::npos) << longVersion;
}

// Shorter than twenty bytes is no trailer; a missing file or a folder
// cannot be opened.
TEST(TrailerFile, ShortMissingAndFolderReads) {
    TempDir dir;
    WriteFile(dir.File("short.bin"), std::string(19, 'A'));
    EXPECT_EQ(ReadTrailerBytes(dir.File("short.bin")).status, TrailerStatus::TooShort);
    WriteFile(dir.File("exact.bin"), std::string(20, 'A'));
    EXPECT_EQ(ReadTrailerBytes(dir.File("exact.bin")).status, TrailerStatus::Ok);
    const TrailerRead missing = ReadTrailerBytes(dir.File("none.bin"));
    EXPECT_EQ(missing.status, TrailerStatus::OpenFailed);
    EXPECT_NE(missing.error.find("none.bin"), std::string::npos);
    EXPECT_EQ(ReadTrailerBytes(dir.Path()).status, TrailerStatus::OpenFailed);
}

// Nor does it touch a file when a field is overlong.
TEST(TrailerFile, AppendNeverCreatesAFile) {
    TempDir dir;
    const TrailerWrite write = AppendTrailer(dir.File("none.nb0"), "A", "1");
    EXPECT_EQ(write.status, TrailerStatus::OpenFailed);
    struct stat status {};
    EXPECT_NE(stat(dir.File("none.nb0").c_str(), &status), 0);
    WriteFile(dir.File("image.nb0"), std::string(100, 'x'));
    const TrailerWrite overlong = AppendTrailer(dir.File("image.nb0"), "ABCDEFGHIJKLMNOP", "1");
    EXPECT_EQ(overlong.status, TrailerStatus::FieldTooLong);
    EXPECT_EQ(ReadFileBytes(dir.File("image.nb0")).size(), 100u);
}

// A write the file system refuses halfway (here a file size limit, in a
// child of its own) is cut back to the old length and closes its file.
TEST(TrailerFile, AFailedAppendLeavesTheFileAsItWasAndClosed) {
    TempDir dir;
    const std::string image = dir.File("image.nb0");
    WriteFile(image, std::string(100, 'x'));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        const rlimit limit{110, 110};  // room for half a trailer
        const std::size_t before = test::OpenFileCount();
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(10);
        const TrailerWrite write = AppendTrailer(image, "MODEL", "1.0");
        _exit((write.status == TrailerStatus::WriteFailed ? 0 : 1) |
              (test::OpenFileCount() == before ? 0 : 2));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "the append did not fail";
    EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "the file was left open";
    EXPECT_EQ(ReadFileBytes(image).size(), 100u);
}

} // namespace
} // namespace marlow::stamp
