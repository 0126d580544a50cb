#include "stamp/stamp_operations.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace marlow::stamp {
namespace {

using test::HexDump;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFile;

std::vector<std::uint8_t> Image(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

TEST(StampInsert, AppendsExactlyTwentyBytesAfterTheImage) {
    TempDir dir;
    const std::vector<std::uint8_t> image = Image(1000);
    WriteFile(dir.File("nk.nb0"), image);

    ASSERT_EQ(InsertStamp(dir.File("nk.nb0"), "QUILL-A1", "1.0").status, TrailerStatus::Ok);

    std::vector<std::uint8_t> expected = image;
    const std::string_view trailer("QUILL-A1\0\0\0\0\0\0\0"
                                   "1.0\0\0",
                                   20);
    expected.insert(expected.end(), trailer.begin(), trailer.end());
    EXPECT_EQ(ReadFileBytes(dir.File("nk.nb0")), expected)
        << HexDump(ReadFileBytes(dir.File("nk.nb0")));
}

// Every insert appends a trailer and the last one counts. Insert takes the
// characters as given; a version starting with "bin" is taken for a list.
TEST(StampVerify, TheLastInsertCounts) {
    const struct {
        std::vector<Stamp> inserts;
        Stamp shown;
    } rows[] = {
        {{{"ZZ,", ""}}, {"ZZ,", ""}},
        {{{"QUILL", "1.0"}, {"QUILL", "1.1"}}, {"QUILL", "1.1"}},
        {{{"QUILL", "bin2"}}, {"NONE", "NONE"}},
        {{{"QUILL", "bin2"}, {"QUILL", "xbin"}}, {"QUILL", "xbin"}},
    };
    for (const auto& row : rows) {
        TempDir dir;
        WriteFile(dir.File("nk.nb0"), Image(1000));
        for (const Stamp& stamp : row.inserts)
            ASSERT_EQ(InsertStamp(dir.File("nk.nb0"), stamp.model, stamp.version).status,
                      TrailerStatus::Ok);
        EXPECT_EQ(ReadFileBytes(dir.File("nk.nb0")).size(), 1000 + 20 * row.inserts.size());
        EXPECT_EQ(VerifyStamp(dir.File("nk.nb0")).Value(), row.shown) << row.shown.model;
    }
}

TEST(StampVerify, ListWithoutATrailerShowsNone) {
    TempDir dir;
    const std::pair<const char*, const char*> lists[] = {
        {"crlf.lst", "eboot.bin\r\nnk.bin\r\nxip_chain.bin\r\n"},
        {"lf.lst", "eboot.bin\nnk.bin\nxip_chain.bin\n"},
        {"phone.lst", "nk.bin\r\n-psi.flb\r\nslb.flb\r\nmodem.fls\r\nmodem.eep\r\n"},
        {"phone-lf.lst", "nk.bin\n-psi.flb\nslb.flb\nmodem.fls\nmodem.eep\n"},
        {"no-last-break.lst", "nk.bin\r\n-psi.flb\r\nslb.flb\r\nmodem.fls\r\nmodem.eep"},
    };
    for (const auto& [name, text] : lists) {
        WriteFile(dir.File(name), text);
        const Result<Stamp> verify = VerifyStamp(dir.File(name));
        ASSERT_TRUE(verify) << name;
        EXPECT_EQ(*verify, (Stamp{"NONE", "NONE"})) << name;
        ASSERT_EQ(InsertStamp(dir.File(name), "QUILL", "1.0").status, TrailerStatus::Ok);
        EXPECT_EQ(VerifyStamp(dir.File(name)).Value(), (Stamp{"QUILL", "1.0"})) << name;
    }
}

TEST(StampVerify, UnstampedTailIsShownAsItStands) {
    TempDir dir;
    WriteFile(dir.File("raw.nb0"), std::string_view("0123456789abcdefghij\0\0", 22));
    EXPECT_EQ(VerifyStamp(dir.File("raw.nb0")).Value(), (Stamp{"23456789abcdefg", "hij"}));
}

// The refusal names the field, the character and the set it must come from.
TEST(StampTyping, RefusalsNameTheFieldTheCharacterAndTheSet) {
    const std::string model = "Invalid Character in Model Name\n";
    const std::string version = "Invalid Character in Model Version\n";
    const std::string set = " cannot be used: use only - . / 0-9 : ; A-Y a-z";
    const struct {
        StampField field;
        std::string_view text;
        std::optional<TypingProblem> problem;
    } rows[] = {
        {StampField::Model, "QUILZ", TypingProblem{4, model + "\"Z\"" + set}},
        {StampField::Model, ",A", TypingProblem{0, model + "\",\"" + set}},
        {StampField::Version, "1 0", TypingProblem{1, version + "A blank" + set}},
        {StampField::Version, "1\t", TypingProblem{1, version + "The character 0x09" + set}},
        {StampField::Model, std::string_view("ab\0c", 4),
         TypingProblem{2, model + "The character 0x00" + set}},
        {StampField::Model, "", std::nullopt},
        {StampField::Model, "aY9-;", std::nullopt},
        {StampField::Version, "1.0a", std::nullopt},
        // Only as far as the field holds.
        {StampField::Version, "1.00Z", std::nullopt},
        {StampField::Model, "ABCDEFGHIJKLMN,", std::nullopt},
        {StampField::Model, "ABCDEFGHIJKLM,", TypingProblem{13, model + "\",\"" + set}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CheckTyping(row.field, row.text), row.problem) << row.text;
}

} // namespace
} // namespace marlow::stamp
