#include "common/little_endian.h"
#include "common/path_rules.h"

#include <gtest/gtest.h>

namespace marlow {

TEST(PathRules, SplitsAtTheLastBackslashOrSlash) {
    EXPECT_EQ(FileNamePart("C:\\work\\quill.lst"), "quill.lst");
    EXPECT_EQ(DirectoryPart("C:\\work\\quill.lst"), "C:\\work\\");
    EXPECT_EQ(FileNamePart("/srv/images/nk.bin"), "nk.bin");
    EXPECT_EQ(DirectoryPart("/srv/images/nk.bin"), "/srv/images/");
    EXPECT_EQ(DirectoryPart("/srv\\mixed/set\\a.lst"), "/srv\\mixed/set\\");
}

TEST(PathRules, PathWithoutSeparatorHasEmptyDirectory) {
    EXPECT_EQ(DirectoryPart("quill.lst"), "");
    EXPECT_EQ(FileNamePart("quill.lst"), "quill.lst");
}

TEST(PathRules, CaseInsensitiveSuffix) {
    EXPECT_TRUE(EndsWithIgnoreCase("NK.BIN", ".bin"));
    EXPECT_FALSE(EndsWithIgnoreCase("bin", ".bin"));
    EXPECT_EQ(LastChars("ab", 4), "ab");
}

TEST(LittleEndian, RoundTripsAndKeepsByteOrder) {
    std::vector<std::uint8_t> bytes;
    AppendLe32(bytes, 0x11223344);
    ASSERT_EQ(bytes, (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(LoadLe32(bytes), 0x11223344u);
    StoreLe32(bytes, 0, 0xA0400007);
    EXPECT_EQ(LoadLe32(bytes), 0xA0400007u);
}

} // namespace marlow
