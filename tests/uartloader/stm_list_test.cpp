#include "uartloader/stm_list.h"

#include "support/open_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace marlow::uartloader {
namespace {

using test::TempDir;
using test::WriteFile;

const Note kEndOfList{NoteKind::MessageBox, "End: File decoding  *.stm File"};
const Note kInvalidLine{NoteKind::MessageBox, "Error : Invalid  *.stm File"};
const Note kWrongExtension{NoteKind::MessageBox, "Please Open the *.stm File"};

// Every row holds a marker, so that rows a read must not touch can be told apart.
StmList EarlierList() {
    StmList list;
    for (std::size_t i = 0; i < list.paths.size(); ++i)
        list.paths[i] = "earlier path " + std::to_string(i);
    for (std::size_t i = 0; i < list.names.size(); ++i)
        list.names[i] = "earlier name " + std::to_string(i);
    return list;
}

class StmListReading : public ::testing::Test {
protected:
    StmReadResult Read(const std::string& fileName, std::string_view text) {
        const std::string path = dir.File(fileName);
        WriteFile(path, text);
        return ReadStmList(path, list);
    }
    TempDir dir;
    StmList list = EarlierList();
};

// The extension in any case; each path in the list file's folder, whose
// name may hold backslashes.
TEST_F(StmListReading, EightEntriesFillRowsZeroToSevenSilently) {
    const auto result =
        Read("D:\\img\\set\\SET.STM", "-a0\n-a1\n-a2\n-a3\n-a4\n-a5\n-a6\n-eboot.nb0\n");
    EXPECT_EQ(result.entryCount, 8u);
    EXPECT_FALSE(result.listInvalid);
    EXPECT_TRUE(result.notes.empty());
    for (std::size_t i = 0; i < 8; ++i) {
        const std::string name = i == 7 ? "eboot.nb0" : "a" + std::to_string(i);
        EXPECT_EQ(list.names[i], name);
        EXPECT_EQ(list.paths[i], dir.Path() + "/D:\\img\\set\\" + name);
    }
    EXPECT_EQ(list.paths[8], "earlier path 8");
}

TEST_F(StmListReading, ShortListEndsWithDecodingMessageAndKeepsLaterRows) {
    const auto result = Read("set.stm", "-boot.bin\r\n- spaced name \t\r\n--flasher.plain\r\n");
    EXPECT_EQ(result.entryCount, 3u);
    EXPECT_FALSE(result.listInvalid);
    EXPECT_EQ(result.notes, Notes{kEndOfList});
    EXPECT_EQ(list.names[1], " spaced name \t"); // untrimmed
    EXPECT_EQ(list.names[2], "-flasher.plain");
    EXPECT_EQ(list.paths[2], dir.Path() + "/-flasher.plain");
    EXPECT_EQ(list.names[3], "earlier name 3");
    EXPECT_EQ(list.paths[7], "earlier path 7");
}

TEST_F(StmListReading, EmptyLineMarksTheListInvalidAndReadingGoesOn) {
    const auto result = Read("set.stm", "-a0\n\n-a1\n");
    EXPECT_EQ(result.entryCount, 2u);
    EXPECT_TRUE(result.listInvalid);
    EXPECT_EQ(result.notes, (Notes{kInvalidLine, kEndOfList}));
    EXPECT_EQ(list.names[1], "a1");
}

TEST_F(StmListReading, WrongExtensionReadsNothing) {
    for (const char* name : {"set.stmx", "stm", "set.txt", "setstm"}) {
        const auto result = Read(name, "-a0\n");
        EXPECT_TRUE(result.listInvalid) << name;
        EXPECT_EQ(result.entryCount, 0u);
        EXPECT_EQ(result.notes, Notes{kWrongExtension});
        EXPECT_EQ(list.names[0], "earlier name 0");
    }
}

TEST_F(StmListReading, UnopenableListIsRefusedWithItsName) {
    const auto result = ReadStmList(dir.File("missing.stm"), list);
    EXPECT_TRUE(result.listInvalid);
    EXPECT_EQ(result.notes,
              (Notes{{NoteKind::MessageBox,
                      "Failed to open file missing.stm: No such file or directory"}}));

    std::filesystem::create_directory(dir.File("folder.stm"));
    EXPECT_TRUE(ReadStmList(dir.File("folder.stm"), list).listInvalid);
    EXPECT_EQ(list.paths[0], "earlier path 0");
}

TEST_F(StmListReading, NulLineIsInvalidAndReadingStopsAtTheLimits) {
    const auto nul = Read("set.stm", std::string("-a\0b\n", 5) + "-ok\n");
    EXPECT_TRUE(nul.listInvalid);
    EXPECT_EQ(nul.notes, (Notes{kInvalidLine, kEndOfList}));
    EXPECT_EQ(list.names[0], "ok");

    const std::pair<std::string, std::string> rows[] = {
        {"-ok\n-" + std::string(100000, 'x'), "line 2 is longer than 4096 characters"},
        {"-ok\n" + std::string(300, '\n'), "the file has more than 256 lines"},
    };
    for (const auto& [text, fault] : rows) {
        const auto result = Read("set.stm", text);
        EXPECT_TRUE(result.listInvalid);
        EXPECT_EQ(result.entryCount, 1u);
        EXPECT_EQ(result.notes.back(),
                  (Note{NoteKind::MessageBox, "Failed to read file set.stm: " + fault}));
    }
}

TEST_F(StmListReading, WindowsNamesAreFoundIgnoringLetterCase) {
    std::filesystem::create_directory(dir.File("img"));
    WriteFile(dir.File("img/eboot.nb0"), "x");
    const auto result = Read("set.stm", "-IMG\\eboot.nb0\n");
    EXPECT_EQ(list.paths[0], dir.File("img/eboot.nb0"));
    EXPECT_EQ(list.names[0], "IMG\\eboot.nb0");
    EXPECT_EQ(result.notes.front().kind, NoteKind::TraceLine);
}

TEST_F(StmListReading, FileIsClosedOnEveryPath) {
    const std::size_t before = test::OpenFileCount();
    Read("set.stm", "-a0\n-a1\n-a2\n-a3\n-a4\n-a5\n-a6\n-a7\n-a8\n");
    Read("set.stm", "junk");
    Read("set.stm", "");
    Read("set.txt", "-a0\n");
    EXPECT_EQ(test::OpenFileCount(), before);
}

} // namespace
} // namespace marlow::uartloader
