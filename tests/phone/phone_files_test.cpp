#include "phone/phone_files.h"

#include <gtest/gtest.h>

namespace marlow::phone {
namespace {

TEST(ClassifyPhoneFile, LoadersByExactNameImagesByExtensionAnyCase) {
    EXPECT_EQ(ClassifyPhoneFile("psi.flb"), PhoneFileRole::PsiLoader);
    EXPECT_EQ(ClassifyPhoneFile("PSI.FLB"), PhoneFileRole::PsiLoader);
    EXPECT_EQ(ClassifyPhoneFile("SUB\\psi.flb"), PhoneFileRole::PsiLoader); // by its own name
    EXPECT_EQ(ClassifyPhoneFile("a/b\\Slb.Flb"), PhoneFileRole::SecondStageLoader);
    EXPECT_EQ(ClassifyPhoneFile("image.FLS"), PhoneFileRole::Firmware);
    EXPECT_EQ(ClassifyPhoneFile(".fls"), PhoneFileRole::Firmware);
    EXPECT_EQ(ClassifyPhoneFile("modem.eep"), PhoneFileRole::Eeprom);
    for (const char* none : {"my_psi.flb", "psi.flb\\", "SUB\\my_psi.flb", "psi.flb ", "-slb.flb",
                             "fls", "a.flb", "", "notes.txt"})
        EXPECT_EQ(ClassifyPhoneFile(none), PhoneFileRole::None) << none;
}

TEST(PhoneFileSet, AssignRefusesPathsThatDoNotFitAndChangesNothing) {
    PhoneFileSet set;
    ASSERT_TRUE(set.Assign(PhoneFileRole::Firmware, "a.fls", std::string(kMaxPhonePath, 'a')));
    EXPECT_FALSE(set.Assign(PhoneFileRole::Firmware, "b.fls", std::string(kMaxPhonePath + 1, 'b')));
    EXPECT_FALSE(set.Assign(PhoneFileRole::None, "x.txt", "x.txt"));
    EXPECT_EQ(set[PhoneFileRole::Firmware].displayName, "a.fls");
}

} // namespace
} // namespace marlow::phone
