#include "stamp/stamp_charset.h"

#include <gtest/gtest.h>

namespace marlow::stamp {

TEST(StampCharset, HoldsExactlyTheThreeRanges) {
    for (int code = 0; code < 256; ++code) {
        const bool expected =
            (code >= 45 && code <= 59) || (code >= 65 && code <= 89) || (code >= 97 && code <= 122);
        EXPECT_EQ(IsStampCharacter(static_cast<char>(code)), expected) << "code " << code;
    }
}

} // namespace marlow::stamp
