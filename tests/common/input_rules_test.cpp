// What the readers and writers accept as a file, how a name from a file is
// found, and how such names are shown.

#include "common/input_file.h"
#include "common/listed_path.h"
#include "common/printable_text.h"
#include "common/read_through_file.h"
#include "common/regular_file.h"
#include "support/open_files.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow {
namespace {

// Only regular files open, for reading and for writing; nothing here may
// block, and nothing is left open.
TEST(RegularFiles, EverythingElseIsRefusedWithoutBlocking) {
    test::TempDir dir;
    test::WriteFile(dir.File("plain.bin"), "12345");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.File("loop"), dir.File("loop"));
    const std::pair<std::string, std::string> rows[] = {
        {dir.File("plain.bin"), ""}, // opens
        {dir.File("pipe"), "is not a regular file (a named pipe)"},
        {"/dev/zero", "is not a regular file (a character device)"},
        {dir.Path(), "is a folder"},
        {dir.File(std::string("plain.bin\0x", 11)), "the name holds a NUL byte"},
        {dir.File("absent"), "No such file or directory"},
        {dir.File("loop"), "Too many levels of symbolic links"},
        {dir.File(std::string(300, 'n')), "File name too long"},
    };
    const std::size_t before = test::OpenFileCount();
    for (const auto& [path, refusal] : rows) {
        const Result<InputFile> file = InputFile::Open(path);
        const Result<int> fd = OpenRegularFile(path, O_WRONLY);
        EXPECT_EQ(file && file->Size() == 5, refusal.empty()) << path;
        EXPECT_EQ(ReadThroughFile::Open(path).Ok(), refusal.empty()) << path;
        EXPECT_EQ(file.Error(), refusal) << path;
        EXPECT_EQ(fd.Error(), refusal) << path;
        if (fd)
            ::close(*fd);
    }
    EXPECT_EQ(test::OpenFileCount(), before);

    const Result<std::FILE*> created = CreateRegularFile(dir.File("new.txt"));
    ASSERT_TRUE(created) << created.Error();
    std::fclose(*created);
    EXPECT_EQ(CreateRegularFile(dir.File("pipe")).Error(), "is not a regular file (a named pipe)");
}

// Small reads come out of the buffer and large ones go straight into their
// places; either way every byte lands where it belongs, and only the read
// that meets the end of the file comes back short.
TEST(ReadThroughFiles, EveryByteLandsInItsPlaceWhateverTheReadSizes) {
    test::TempDir dir;
    std::vector<std::uint8_t> bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    test::WriteFile(dir.File("data.bin"), bytes);
    using Reads = std::vector<std::vector<std::size_t>>; // places of each read
    const Reads rows[] = {
        {{12}, {8192, 8192}},        // a header, then data across the buffer's end
        {{5000, 0, 3, 4100}, {900}}, // places of every size, one empty
        {{10000}, {1}},              // the whole file at once, then nothing
        {{4095}, {1}, {4096}, {20000}},
    };
    for (const Reads& reads : rows) {
        Result<ReadThroughFile> file = ReadThroughFile::Open(dir.File("data.bin"));
        ASSERT_TRUE(file);
        std::size_t at = 0;
        for (const std::vector<std::size_t>& sizes : reads) {
            std::vector<std::vector<std::uint8_t>> places;
            std::vector<std::span<std::uint8_t>> spans;
            for (const std::size_t size : sizes)
                spans.emplace_back(places.emplace_back(size));
            const std::size_t got = file->Read(spans);
            std::size_t wanted = 0;
            std::vector<std::uint8_t> landed;
            for (const auto& place : places) {
                wanted += place.size();
                landed.insert(landed.end(), place.begin(), place.end());
            }
            ASSERT_EQ(got, std::min(wanted, bytes.size() - at)) << "at " << at;
            EXPECT_TRUE(std::equal(landed.begin(), landed.begin() + static_cast<long>(got),
                                   bytes.begin() + static_cast<long>(at)))
                << "at " << at;
            at += got;
            EXPECT_EQ(file->Position(), at);
        }
        EXPECT_FALSE(file->ReadFailed());
    }
}

// A terminal's text keeps its line ends and tabs, nothing else raw.
TEST(PrintableText, ControlBytesAreEscapedEverythingElseStays) {
    EXPECT_EQ(Printable(std::string_view("lists/\0\0good.bin", 16)), "lists/\\0\\0good.bin");
    EXPECT_EQ(Printable("a\r\nb\tc\x1b[2J\x7f"), "a\\r\\nb\\tc\\x1B[2J\\x7F");
    EXPECT_EQ(TerminalText(std::string_view("a\r\nb\tc\x1b[2J\x7f\rd\a\0\r", 16)),
              "a\r\nb\tc\\x1B[2J\\x7F\\rd\\x07\\0\\r");
}

TEST(ListedPath, WindowsNamesFindTheirFiles) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    for (const char* name : {"sub/eboot.bin", "modem.fls", "Twin.bin", "twin.BIN", "EXACT.bin"})
        test::WriteFile(dir.File(name), "x");
    const std::string folder = dir.Path() + "/";
    struct Row {
        std::string name;
        std::string path; // below the folder
        std::string note; // a part of it; empty: no note
    };
    const Row rows[] = {
        {"sub\\eboot.bin", "sub/eboot.bin", ""},
        {"EXACT.bin", "EXACT.bin", ""},
        {"modem.FLS", "modem.fls", "modem.FLS: not found as written, using modem.fls"},
        {"SUB\\EBOOT.BIN", "sub/eboot.bin", "using sub/eboot.bin (letter case differs)"},
        {"TWIN.bin", "TWIN.bin", "several names in " + folder + " match \"TWIN.bin\""},
        {"absent.bin", "absent.bin", ""},
        {"Sub\\absent.bin", "sub/absent.bin", "using sub/absent.bin"},
        {std::string("x\0.bin", 6), std::string("x\0.bin", 6), ""},
    };
    for (const Row& row : rows) {
        const ListedPath listed = ResolveListedPath(folder, row.name);
        EXPECT_EQ(listed.path, folder + row.path) << row.name;
        EXPECT_EQ(listed.note.has_value(), !row.note.empty()) << row.name;
        if (listed.note) {
            EXPECT_NE(listed.note->find(row.note), std::string::npos) << *listed.note;
        }
    }
}

} // namespace
} // namespace marlow
