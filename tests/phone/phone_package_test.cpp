#include "phone/phone_package.h"
#include "support/open_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace marlow::phone {
namespace {

const Note kInvalidLine{NoteKind::MessageBox, "Error : Invalid  *.brx File"};
const Note kEndOfFile{NoteKind::MessageBox, "End: File decoding  *.brx File"};
const Note kPsiLoaded{NoteKind::TraceLine, "\n psi.flb File Loading OK!!\n"};
const Note kSlbLoaded{NoteKind::TraceLine, "\n slb.flb File Loading OK!!\n"};
const Note kFlsLoaded{NoteKind::TraceLine, "\n *.flb File Loading OK!!\n"};
const Note kEepLoaded{NoteKind::TraceLine, "\n *.eep File Loading OK!! \n"};
const Note kNoMatch{NoteKind::TraceLine, "\n No Match File Error!! \n"};

class PhonePackage : public ::testing::Test {
protected:
    // Backslashes are plain file name characters here, so the package can
    // carry the Windows-style path the operator's PCs use.
    PackageLoadResult Load(const std::string& text, const char* name = "C:\\pkg\\modem.brx") {
        test::WriteFile(dir.File(name), text);
        return LoadPhonePackage(dir.File(name), files);
    }
    std::string InPkg(const char* name) const { return dir.File("C:\\pkg\\") + name; }
    test::TempDir dir;
    PhoneFileSet files;
};

TEST_F(PhonePackage, FourMembersFillFourRolesBesideThePackage) {
    const PackageLoadResult result = Load("+psi.flb\n+slb.flb\n+modem.fls\n+modem.eep\n");
    EXPECT_EQ(result.outcome, PackageOutcome::Loaded);
    EXPECT_TRUE(result.existenceChecked);
    EXPECT_EQ(result.notes, (Notes{kPsiLoaded, kSlbLoaded, kFlsLoaded, kEepLoaded}));
    EXPECT_EQ(files[PhoneFileRole::PsiLoader], (PhoneFileEntry{"psi.flb", InPkg("psi.flb")}));
    EXPECT_EQ(files[PhoneFileRole::SecondStageLoader].path, InPkg("slb.flb"));
    EXPECT_EQ(files[PhoneFileRole::Firmware], (PhoneFileEntry{"modem.fls", InPkg("modem.fls")}));
    EXPECT_EQ(files[PhoneFileRole::Eeprom].path, InPkg("modem.eep"));
}

TEST_F(PhonePackage, WrongExtensionIsRefusedAfterTheExistenceCheck) {
    files[PhoneFileRole::PsiLoader] = {"psi.flb", "/old/psi.flb"};
    const PackageLoadResult result = Load("+slb.flb\n", "modem.brx.txt");
    EXPECT_EQ(result.outcome, PackageOutcome::WrongExtension);
    EXPECT_TRUE(result.existenceChecked);
    EXPECT_EQ(result.notes, (Notes{{NoteKind::MessageBox, "Please Open the *.brx File"}}));
    EXPECT_EQ(files[PhoneFileRole::PsiLoader], (PhoneFileEntry{"", "/old/psi.flb"}));
}

TEST_F(PhonePackage, MissingPackageSaysNothingAndKeepsPaths) {
    files[PhoneFileRole::Eeprom] = {"a.eep", "/old/a.eep"};
    const PackageLoadResult result = LoadPhonePackage(dir.File("absent.brx"), files);
    EXPECT_EQ(result.outcome, PackageOutcome::Missing);
    EXPECT_FALSE(result.existenceChecked);
    EXPECT_TRUE(result.notes.empty());
    EXPECT_EQ(result.reason, "No such file or directory"); // for a command to say
    EXPECT_EQ(files[PhoneFileRole::Eeprom], (PhoneFileEntry{"", "/old/a.eep"}));
}

// Whatever lines it holds, a package that opens loads: each line's note in
// place (an invalid one is skipped, the fifth member never read), and a role
// the members do not reach keeps its path with an empty name.
TEST_F(PhonePackage, AnyPackageThatOpensLoadsWhatItReaches) {
    const std::pair<std::string, Notes> rows[] = {
        {"; comment\n+psi.flb\n\n+notes.txt\n+slb.flb\n+modem.fls\n+late.eep\n",
         {kInvalidLine, kPsiLoaded, kInvalidLine, kNoMatch, kSlbLoaded, kFlsLoaded}},
        {"+psi.flb\n+slb.flb\n+modem.fls", {kPsiLoaded, kSlbLoaded, kFlsLoaded, kEndOfFile}},
        {"", {kEndOfFile}},
    };
    for (const auto& [text, notes] : rows) {
        files[PhoneFileRole::Eeprom] = {"old.eep", "/old/old.eep"};
        const PackageLoadResult result = Load(text);
        EXPECT_EQ(result.outcome, PackageOutcome::Loaded);
        EXPECT_EQ(result.notes, notes);
        EXPECT_EQ(files[PhoneFileRole::Eeprom], (PhoneFileEntry{"", "/old/old.eep"})) << text;
    }
}

TEST_F(PhonePackage, PathThatDoesNotFitIsRefusedNotCut) {
    const std::string packageDirectory = dir.File("C:\\pkg\\");
    const std::string fits(kMaxPhonePath - packageDirectory.size() - 4, 'f');
    const std::string tooLong(kMaxPhonePath - packageDirectory.size() - 3, 'e');
    const PackageLoadResult result =
        Load("+psi.flb\n+" + fits + ".fls\n+" + tooLong + ".eep\n+slb.flb\n");
    EXPECT_EQ(result.outcome, PackageOutcome::PathTooLong);
    EXPECT_FALSE(result.Succeeded());
    ASSERT_EQ(result.notes.size(), 3u);
    EXPECT_EQ(result.notes[2].kind, NoteKind::MessageBox);
    EXPECT_NE(result.notes[2].text.find(".eep"), std::string::npos) << result.notes[2].text;
    EXPECT_NE(result.notes[2].text.find("499"), std::string::npos) << result.notes[2].text;
    // Members before the refused one stand, as in a short package.
    EXPECT_EQ(files[PhoneFileRole::Firmware].path.size(), kMaxPhonePath);
    EXPECT_EQ(files[PhoneFileRole::PsiLoader].displayName, "psi.flb");
    EXPECT_EQ(files[PhoneFileRole::Eeprom].path, "");
    EXPECT_EQ(files[PhoneFileRole::SecondStageLoader].path, "") << "nothing read after it";
}

TEST_F(PhonePackage, ReadingStopsAtItsLimits) {
    std::string comments;
    for (int i = 0; i <= 256; ++i)
        comments += ";\n";
    const std::pair<std::string, std::string> rows[] = {
        {std::string(1 << 20, 'x'), "modem.brx: line 1 is longer than 500 characters"},
        {"+psi.flb\n" + comments, "modem.brx: the file has more than 256 lines"},
    };
    for (const auto& [text, fault] : rows) {
        const PackageLoadResult result = Load(text, "modem.brx");
        EXPECT_EQ(result.outcome, PackageOutcome::Unreadable);
        ASSERT_FALSE(result.notes.empty());
        EXPECT_EQ(result.notes.back(), (Note{NoteKind::MessageBox, fault}));
    }
}

// The package's extension and its members' names (ClassifyPhoneFile) ignore
// letter case; a member found only so is traced.
TEST_F(PhonePackage, MemberFoundIgnoringLetterCaseIsTraced) {
    test::WriteFile(dir.File("modem.fls"), "x");
    const PackageLoadResult result = Load("+modem.FLS\r\n", "MODEM.BRX");
    EXPECT_EQ(files[PhoneFileRole::Firmware], (PhoneFileEntry{"modem.FLS", dir.File("modem.fls")}));
    EXPECT_EQ(result.notes,
              (Notes{{NoteKind::TraceLine,
                      "\nmodem.FLS: not found as written, using modem.fls (letter case differs)\n"},
                     kFlsLoaded,
                     kEndOfFile}));
}

TEST_F(PhonePackage, LeavesNoFileOpenOnAnyPath) {
    const std::size_t before = test::OpenFileCount();
    Load("+psi.flb\n+slb.flb\n+a.fls\n+a.eep\n");
    Load("+psi.flb\n");
    Load("+" + std::string(600, 'x') + ".fls\n");
    Load("+psi.flb\n", "wrong.txt");
    LoadPhonePackage(dir.File("absent.brx"), files);
    LoadPhonePackage(dir.Path(), files);
    EXPECT_EQ(test::OpenFileCount(), before);
}

} // namespace
} // namespace marlow::phone
