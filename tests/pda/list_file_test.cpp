#include "pda/boot_image_writer.h"
#include "pda/download_plan_check.h"
#include "pda/list_file.h"
#include "support/open_files.h"
#include "support/temp_dir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace marlow::pda {
namespace {

using phone::PhoneFileRole;

TEST(ClassifyListLine, FollowsTheRuleTableInOrder) {
    EXPECT_EQ(ClassifyListLine("+NK.BIN"), (ListLine{ListLineKind::ImageEntry, "NK.BIN"}));
    EXPECT_EQ(ClassifyListLine("eboot.Bin"), (ListLine{ListLineKind::ImageEntry, "eboot.Bin"}));
    EXPECT_EQ(ClassifyListLine("++a.bin"), (ListLine{ListLineKind::ImageEntry, "+a.bin"}));
    EXPECT_EQ(ClassifyListLine("-psi.flb"), (ListLine{ListLineKind::PhoneGroupStart, "psi.flb"}));
    // The ".bin" rule comes first, so a "-" in front of an image name stays.
    EXPECT_EQ(ClassifyListLine("-x.bin"), (ListLine{ListLineKind::ImageEntry, "-x.bin"}));
    EXPECT_EQ(ClassifyListLine("NK.bin ").kind, ListLineKind::EndOfList);
    EXPECT_EQ(ClassifyListLine("").kind, ListLineKind::EndOfList);
    EXPECT_EQ(ClassifyListLine("+").kind, ListLineKind::EndOfList);
}

TEST(ListKind, ListNamesCompareExactlyImagesIgnoreCase) {
    EXPECT_EQ(ListKindOf("C:\\work\\quill_all.lst"), 2);
    EXPECT_EQ(ListKindOf("/work/quill.lst"), 1);
    EXPECT_EQ(ListKindOf("C:\\work\\QUILL.LST"), 255);
    EXPECT_EQ(ListKindOf("quill.lst\\NK.BIN"), 0);
    EXPECT_EQ(ListKindOf("flat.nb0"), 255);
}

// The file's SHA-256 as sha256sum reckons it.
std::string SumOf(const std::string& path) {
    std::FILE* pipe = ::popen(("sha256sum < '" + path + "'").c_str(), "r");
    std::array<char, 65> hex{};
    const bool read = pipe != nullptr && std::fread(hex.data(), 1, 64, pipe) == 64;
    if (pipe != nullptr)
        ::pclose(pipe);
    return read ? hex.data() : "sha256sum failed";
}

class ListFile : public ::testing::Test {
protected:
    // A backslash is an ordinary file name character here, which lets the
    // tests use the Windows-style list paths the production PCs write.
    std::string Write(const std::string& text, const char* name = "C:\\work\\quill.lst") {
        test::WriteFile(dir.File(name), text);
        return dir.File(name);
    }
    std::string InWork(const char* name) const { return dir.File("C:\\work\\") + name; }
    test::TempDir dir;
};

TEST_F(ListFile, PhoneGroupEndsTheListAndGetsItsRoles) {
    const ListContents list =
        ReadListFile(Write("eboot.bin\n-psi.flb\nslb.flb\nmodem.fls\nmodem.eep\nextra.bin\n"));
    EXPECT_TRUE(list.read) << list.read.Error();
    EXPECT_EQ(list.entries, (std::vector<ListEntry>{{"eboot.bin", InWork("eboot.bin")}}));
    ASSERT_TRUE(list.hasPhoneGroup);
    EXPECT_EQ(list.phoneGroup, (std::vector<PhoneGroupFile>{
                                   {"psi.flb", InWork("psi.flb"), PhoneFileRole::PsiLoader},
                                   {"slb.flb", InWork("slb.flb"), PhoneFileRole::SecondStageLoader},
                                   {"modem.fls", InWork("modem.fls"), PhoneFileRole::Firmware},
                                   {"modem.eep", InWork("modem.eep"), PhoneFileRole::Eeprom}}));
}

// What the check before a download learnt: the images, with their sizes and
// the SHA-256 of every byte (the trailer after the end record too) when read
// whole, and the phone group.
TEST_F(ListFile, DownloadPlanHoldsTheImagesAndThePhoneGroup) {
    BootImagePlan layout =
        MakeBootImagePlan(0x80000000, 0, {{0x80000000, {1, 2, 3}, std::nullopt}}, 0x80000000);
    layout.trailing = {'M', 'o', 'd', 'e', 'l'};
    const std::vector<std::uint8_t> image = BuildBootImage(layout);
    test::WriteFile(InWork("eboot.bin"), image);
    const std::string list = Write("eboot.bin\n-psi.flb\n");
    for (const bool wholeFiles : {true, false}) {
        const Result<DownloadPlan> plan = CheckDownloadPlan(list, {.wholeFiles = wholeFiles});
        ASSERT_TRUE(plan) << plan.Error();
        ASSERT_EQ(plan->images.size(), 1u);
        const PlannedImage& planned = plan->images[0];
        EXPECT_EQ(planned.name, "eboot.bin");
        EXPECT_EQ(planned.path, InWork("eboot.bin"));
        EXPECT_EQ(planned.size,
                  wholeFiles ? std::optional<std::uint64_t>(image.size()) : std::nullopt);
        EXPECT_EQ(planned.sha256, wholeFiles ? SumOf(InWork("eboot.bin")) : "");
        EXPECT_EQ(plan->phoneGroup.size(), 1u);
    }
}

TEST_F(ListFile, AnyOtherLineEndsTheList) {
    const ListContents list = ReadListFile(Write("+NK.BIN\r\nNK.bin \r\nlater.bin\r\n"));
    EXPECT_EQ(list.entries, (std::vector<ListEntry>{{"NK.BIN", InWork("NK.BIN")}}));
    EXPECT_FALSE(list.hasPhoneGroup);
}

TEST_F(ListFile, ReadingStopsAtItsLimitsAndEarlierEntriesStand) {
    const std::string overlong(kListLineLimits.maxLength + 1, 'x');
    std::string manyLines;
    for (std::size_t i = 0; i <= kListLineLimits.maxLines; ++i)
        manyLines += "a.bin\n";
    const std::pair<std::string, std::string> rows[] = {
        {"a.bin\n" + overlong + ".bin\n", "line 2 is longer than 4096 characters"},
        {"a.bin\n-psi.flb\n" + overlong, "line 3 is longer than 4096 characters"},
        {manyLines, "the file has more than 1024 lines"},
    };
    for (const auto& [text, fault] : rows) {
        const ListContents list = ReadListFile(Write(text));
        EXPECT_FALSE(list.entries.empty());
        EXPECT_NE(list.read.Error().find(fault), std::string::npos) << list.read.Error();
    }
}

TEST_F(ListFile, WindowsNamesAreFoundAndTheTraceSaysHow) {
    std::filesystem::create_directories(dir.File("set/sub"));
    for (const char* name : {"set/sub/eboot.bin", "set/psi.flb", "set/modem.fls"})
        test::WriteFile(dir.File(name), "x");
    const ListContents list =
        ReadListFile(Write("sub\\eboot.bin\n-psi.flb\nmodem.FLS\n", "set/quill.lst"));
    EXPECT_EQ(list.entries,
              (std::vector<ListEntry>{{"sub\\eboot.bin", dir.File("set/sub/eboot.bin")}}));
    ASSERT_EQ(list.phoneGroup.size(), 2u);
    EXPECT_EQ(list.phoneGroup[1].path, dir.File("set/modem.fls"));
    ASSERT_EQ(list.notes.size(), 1u);
    EXPECT_EQ(list.notes[0].kind, NoteKind::TraceLine);
    EXPECT_EQ(list.notes[0].text,
              "\nmodem.FLS: not found as written, using modem.fls (letter case differs)\n");
}

TEST_F(ListFile, PhonePathThatDoesNotFitIsAnError) {
    const std::string name(phone::kMaxPhonePath, 'm');
    const ListContents list = ReadListFile(Write("-psi.flb\n" + name + ".fls\nx.eep\n"));
    EXPECT_EQ(list.phoneGroup.size(), 1u);
    EXPECT_NE(list.read.Error().find("line 2"), std::string::npos) << list.read.Error();
    EXPECT_NE(list.read.Error().find("499"), std::string::npos) << list.read.Error();
}

TEST_F(ListFile, MissingListAndOpenFiles) {
    const std::size_t before = test::OpenFileCount();
    EXPECT_FALSE(ReadListFile(dir.File("none.lst")).read);
    ReadListFile(Write("a.bin\n-psi.flb\n"));
    ReadListFile(Write(std::string(kListLineLimits.maxLength + 1, 'x')));
    EXPECT_EQ(test::OpenFileCount(), before);
}

} // namespace
} // namespace marlow::pda
