#include "app/file_information.h"

#include "common/little_endian.h"
#include "support/open_files.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace marlow::app {
namespace {

using test::TempDir;
using test::WriteFile;

using Prints = std::vector<std::string>;

const char* const kTitleRule =
    "\n|------------------------   File Infomation   ------------------------|\n";
const char* const kClosingRule =
    "\n|-------------------------------------------------------------------|\n";
const char* const kImageTitleRule =
    "\n|-----------------------   Image Information   ---------------------|\n";
const char* const kImageClosingRule =
    "\n|-------------------------------------------------------------------|";

// A stamp for model QUILL-A1, version 1.0.
constexpr std::string_view kQuillTrailer("QUILL-A1\0\0\0\0\0\0\0"
                                         "1.0\0\0",
                                         20);

// 2008-01-18 14:05:09 in whatever zone the facts are read in.
std::tm BuildDay() {
    std::tm time{};
    time.tm_year = 108;
    time.tm_mon = 0;
    time.tm_mday = 18;
    time.tm_hour = 14;
    time.tm_min = 5;
    time.tm_sec = 9;
    return time;
}

stamp::TrailerBytes TrailerOf(std::string_view text) {
    stamp::TrailerBytes bytes{};
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

FileFacts StampedFacts(std::string_view trailer) {
    FileFacts facts;
    facts.fullPathName = "/images/nk.bin";
    facts.size = 1020;
    facts.modifiedLocal = BuildDay();
    facts.trailer = TrailerOf(trailer);
    facts.endRecord.emplace();
    std::copy(facts.trailer->end() - 12, facts.trailer->end(), facts.endRecord->begin());
    return facts;
}

Prints FileBlock(std::string_view path, std::string_view size, std::string_view model,
                 std::string_view version) {
    return {kTitleRule,
            "|",
            "\n| Full File Name : " + std::string(path) + "\n",
            "|",
            "\n| File Size          : " + std::string(size) + " Bytes\n",
            "|",
            "\n| Date / Time     : 2008-01-18 / 14:05:09\n",
            "|",
            "\n| Model / Version :" + std::string(model) + "  / " + std::string(version) + " ",
            "\n|",
            kClosingRule};
}

Prints ImageBlock(std::string_view start, std::string_view length, std::string_view launch) {
    return {kImageTitleRule,
            "|",
            "\n| Start Address      : " + std::string(start) + "\n",
            "|",
            "\n| Length                 : " + std::string(length) + " Bytes\n",
            "|",
            "\n| Launch Address  : " + std::string(launch) + "\n",
            "|",
            kImageClosingRule};
}

// A model with an upper-case Z is not a stamp: the block shows none.
TEST(FileInformationBlock, TheTrailerGivesModelAndVersionOrNone) {
    const struct {
        std::string_view trailer;
        const char* model;
        const char* version;
    } rows[] = {
        {kQuillTrailer, "QUILL-A1", "1.0"},
        {std::string_view("\x12\xFF\x00\x80"
                          "AB",
                          6),
         "NONE", "NONE"},
        {std::string_view("QUILZ\0\0\0\0\0\0\0\0\0\0"
                          "1.0\0\0",
                          20),
         "NONE", "NONE"},
    };
    for (const auto& row : rows) {
        const FileInformationBlock block = ShowFileInformation(StampedFacts(row.trailer));
        EXPECT_EQ(block.messageBox, std::nullopt);
        EXPECT_TRUE(block.clearWindowFirst);
        EXPECT_EQ(block.prints, FileBlock("/images/nk.bin", "1020", row.model, row.version));
        const FrontPanelFileInformation panel =
            ShowFileInformationOnPanel(StampedFacts(row.trailer));
        EXPECT_EQ(panel.messageBox, std::nullopt);
        EXPECT_EQ(panel.texts, (FrontPanelFileTexts{"1020 Bytes", "2008-01-18 / 14:05:09",
                                                    row.model, row.version}));
    }
}

TEST(FileInformationBlock, MissingFileWritesOnlyFileNotFound) {
    const FileInformationBlock block = ShowFileInformation(Failure{});
    EXPECT_EQ(block.messageBox, std::nullopt);
    EXPECT_FALSE(block.clearWindowFirst);
    EXPECT_EQ(block.prints, Prints{"\nFile not found"});
    EXPECT_EQ(ShowImageInformation(Failure{}), Prints{});
    const FrontPanelFileInformation panel = ShowFileInformationOnPanel(Failure{});
    EXPECT_EQ(panel.messageBox, std::nullopt);
    EXPECT_EQ(panel.texts, std::nullopt);
}

TEST(FileInformationBlock, SizesFrom2GiBUpPrintTheirRealSize) {
    FileFacts facts = StampedFacts("");
    facts.size = 0x80000000ull;
    EXPECT_EQ(ShowFileInformation(facts).prints[4], "\n| File Size          : 2147483648 Bytes\n");
    facts.size = 5ull << 32;
    EXPECT_EQ(ShowFileInformationOnPanel(facts).texts->size, "21474836480 Bytes");
}

// The length is unsigned: a top bit set is no negative length.
TEST(ImageInformationBlock, ShowsHeaderFieldsAndLaunchAddress) {
    FileFacts facts = StampedFacts("");
    StoreLe32(facts.head, 7, 0x80001000);
    StoreLe32(facts.head, 11, 0xFFFFFFF0);
    StoreLe32(*facts.endRecord, 4, 0x80002000);
    EXPECT_EQ(ShowImageInformation(facts), ImageBlock("0x80001000", "4294967280", "0x80002000"));
}

// Facts read from real files, in a fixed time zone so the date is known.
class FileFactsFromDisk : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    std::string Make(std::string_view name, std::string_view bytes) {
        const std::string path = dir.File(name);
        WriteFile(path, bytes);
        // 2008-01-18 14:05:09 UTC
        const struct timespec times[2] = {{1200665109, 0}, {1200665109, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    }

    TempDir dir;
};

TEST_F(FileFactsFromDisk, StampedImageEndToEnd) {
    std::string image("B000FF\n", 7);
    std::vector<std::uint8_t> words;
    AppendLe32(words, 0x80001000); // start
    AppendLe32(words, 0x00000010); // length
    AppendLe32(words, 0);          // end record: address 0,
    AppendLe32(words, 0x80001234); // launch address,
    AppendLe32(words, 0);          // checksum 0
    image.append(words.begin(), words.end());
    image.append(kQuillTrailer);
    // A per cent sign in the name is no format.
    const std::string path = Make("100%s%n.bin", image);

    const Result<FileFacts> facts = ReadFileFacts(path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(ShowFileInformation(facts).prints,
              FileBlock(path, std::to_string(image.size()), "QUILL-A1", "1.0"));
    // The last 12 bytes lie inside the trailer: bytes 12 to 15 of it are
    // three zeros of the model field and the version's "1".
    EXPECT_EQ(ShowImageInformation(facts), ImageBlock("0x80001000", "16", "0x31000000"));
}

TEST_F(FileFactsFromDisk, TenByteFileIsNeitherStampedNorAnImage) {
    const std::string path = Make("tiny.bin", "B000FF\nABC");
    const Result<FileFacts> facts = ReadFileFacts(path);
    ASSERT_TRUE(facts);

    const FileInformationBlock block = ShowFileInformation(facts);
    EXPECT_EQ(block.messageBox, "Invalid Bin file or lst file!\nChoose Correct file for download");
    EXPECT_TRUE(block.clearWindowFirst);
    Prints expected = FileBlock(path, "10", "", "");
    expected.push_back("Invalid File! Choose Correct Bin File or lst File");
    EXPECT_EQ(block.prints, expected);

    // Bytes past the end of the file count as zero.
    Prints image = ImageBlock("0x00434241", "0", "0x00000000");
    image.push_back("Invalid Image! Choose Correct Bin File or lst File");
    EXPECT_EQ(ShowImageInformation(facts), image);

    const FrontPanelFileInformation panel = ShowFileInformationOnPanel(facts);
    EXPECT_EQ(panel.messageBox, block.messageBox);
    EXPECT_EQ(panel.texts, (FrontPanelFileTexts{"10 Bytes", "2008-01-18 / 14:05:09", "", ""}));
}

// Twenty bytes are enough for a trailer; thirteen hold an end record only.
TEST_F(FileFactsFromDisk, ExactlyTwentyBytesIsLongEnoughForATrailer) {
    const std::string path =
        Make("twenty.bin", std::string_view("MODEL\0\0\0\0\0\0\0\0\0\0V1\0\0\0", 20));
    const FileInformationBlock block = ShowFileInformation(ReadFileFacts(path));
    EXPECT_EQ(block.messageBox, std::nullopt);
    EXPECT_EQ(block.prints, FileBlock(path, "20", "MODEL", "V1"));
    EXPECT_EQ(ShowImageInformation(ReadFileFacts(path)).size(), 9u);
    const Result<FileFacts> thirteen = ReadFileFacts(Make(
        "13.bin", std::string_view("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d", 13)));
    ASSERT_TRUE(thirteen);
    EXPECT_FALSE(thirteen->trailer);
    EXPECT_EQ(ShowImageInformation(thirteen), ImageBlock("0x0B0A0908", "3340", "0x09080706"));
}

TEST_F(FileFactsFromDisk, NoFileIsLeftOpen) {
    const std::string path = Make("nk.bin", std::string(100, 'x'));
    const std::size_t before = test::OpenFileCount();
    for (int i = 0; i < 20; ++i) {
        (void)ReadFileFacts(path);
        (void)ReadFileFacts(dir.File("none.bin"));
    }
    EXPECT_EQ(test::OpenFileCount(), before);
}

} // namespace
} // namespace marlow::app
