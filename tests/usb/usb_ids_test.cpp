// "PdaUsbIds": the list of boot loader ids an operator types in.

#include "support/temp_dir.h"
#include "usb/usb_ids.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace marlow::usb {
namespace {

std::vector<UsbId> Parse(std::string_view text) {
    const auto ids = ParsePdaUsbIds(text);
    EXPECT_TRUE(ids) << ids.Error();
    return ids ? *ids : std::vector<UsbId>{};
}

std::string ErrorOf(std::string_view text) {
    const auto ids = ParsePdaUsbIds(text);
    EXPECT_FALSE(ids) << text;
    return ids.Error();
}

// Pairs in either case, blanks around them, in order without duplicates;
// the default is a valid list; formatting gives the settings form.
TEST(PdaUsbIds, ReadsPairsInOrderWithoutDuplicates) {
    const UsbId standard{0x045e, 0x00ce};
    EXPECT_EQ(Parse("045e:00ce"), std::vector<UsbId>{standard});
    EXPECT_EQ(Parse("045E:00CE"), std::vector<UsbId>{standard});
    EXPECT_EQ(Parse(kDefaultPdaUsbIds), std::vector<UsbId>{standard});
    EXPECT_EQ(Parse(" 045e:00ce ,\t1234:abcd,045e:00ce"),
              (std::vector<UsbId>{standard, {0x1234, 0xabcd}}));
    EXPECT_EQ(FormatPdaUsbIds({standard, {0x1234, 0xabcd}}), "045e:00ce,1234:abcd");
    // A device matches with both halves.
    EXPECT_TRUE(MatchesAny({standard}, 0x045e, 0x00ce));
    EXPECT_FALSE(MatchesAny({standard}, 0x045e, 0x00cf));
    EXPECT_FALSE(MatchesAny({standard}, 0x045f, 0x00ce));
    EXPECT_FALSE(MatchesAny({}, 0x045e, 0x00ce));
}

TEST(PdaUsbIds, MalformedItemsAreNamedWithTheirPositionAndTheExpectedForm) {
    EXPECT_EQ(ErrorOf("045e:00ce,12:5678"),
              "item 2 \"12:5678\" is not a USB id: write vvvv:pppp with four hex "
              "digits each, several separated by commas (e.g. 045e:00ce,1234:5678)");
    for (const char* bad : {"", " ", "045e", "045e:00c", "045e:00ceX", "0x5e:00ce", "045e-00ce",
                            "045e:00ce,", ",045e:00ce", "g45e:00ce", "045e:00ce:0001"})
        EXPECT_NE(ErrorOf(bad).find("is not a USB id"), std::string::npos) << bad;
}

// The settings file as an operator writes it: a list quoted or not (which
// the file reads as a list of values) is the same list; unset or blank is
// the default; a bad item refuses the setting whole, named as a setting.
TEST(PdaUsbIds, TheSettingIsReadWholeInEitherFormOrFallsBackWhenBlank) {
    test::TempDir dir;
    const std::string file = dir.File("Marlow.conf");
    for (const auto& [line, shown] : std::vector<std::pair<std::string, std::string>>{
             {"", "045e:00ce"},
             {"PdaUsbIds=\"  \"", "045e:00ce"},
             {"PdaUsbIds=1234:5678", "1234:5678"},
             {"PdaUsbIds=045e:00ce,1234:abcd", "045e:00ce,1234:abcd"},
             {"PdaUsbIds=\"045e:00ce, 1234:abcd\"", "045e:00ce,1234:abcd"},
             {"PdaUsbIds=045e:00ce,xyz",
              "bad setting PdaUsbIds: item 2 \"xyz\" is not a USB id"}}) {
        test::WriteFile(file, "[General]\n" + line + "\n");
        const auto ids =
            ReadPdaUsbIds(QSettings(QString::fromStdString(file), QSettings::IniFormat));
        EXPECT_EQ(ids ? FormatPdaUsbIds(*ids) : ids.Error().substr(0, shown.size()), shown) << line;
    }
}

} // namespace
} // namespace marlow::usb
