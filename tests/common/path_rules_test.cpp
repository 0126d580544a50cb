#include "common/path_rules.h"

#include <gtest/gtest.h>

namespace marlow {

// Either separator splits, the last one wins; a bare name has no folder.
TEST(PathRules, SplitsAtTheLastBackslashOrSlash) {
    for (const auto& [path, folder, name] :
         {std::tuple{"C:\\work\\quill.lst", "C:\\work\\", "quill.lst"},
          {"/srv/images/nk.bin", "/srv/images/", "nk.bin"},
          {"/srv\\mixed/set\\a.lst", "/srv\\mixed/set\\", "a.lst"},
          {"quill.lst", "", "quill.lst"}}) {
        EXPECT_EQ(DirectoryPart(path), folder);
        EXPECT_EQ(FileNamePart(path), name);
    }
}

TEST(PathRules, CaseInsensitiveSuffix) {
    EXPECT_TRUE(EndsWithIgnoreCase("NK.BIN", ".bin"));
    EXPECT_FALSE(EndsWithIgnoreCase("bin", ".bin"));
    EXPECT_EQ(LastChars("ab", 4), "ab");
}

} // namespace marlow
