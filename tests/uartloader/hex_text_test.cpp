#include "uartloader/hex_text.h"

#include <gtest/gtest.h>

namespace marlow::uartloader {
namespace {

TEST(HexStringToDword, ShortTextIsRightAligned) {
    std::uint32_t value = 1;
    EXPECT_TRUE(HexStringToDword("3D00000", value));
    EXPECT_EQ(value, 0x03D00000u);
    EXPECT_TRUE(HexStringToDword("1F", value));
    EXPECT_EQ(value, 0x1Fu);
}

TEST(HexStringToDword, FullWidthUpperCase) {
    std::uint32_t value = 0;
    EXPECT_TRUE(HexStringToDword("A0000000", value));
    EXPECT_EQ(value, 0xA0000000u);
    EXPECT_TRUE(HexStringToDword("FFFFFFFF", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_TRUE(HexStringToDword("01234567", value));
    EXPECT_EQ(value, 0x01234567u);
    EXPECT_TRUE(HexStringToDword("89ABCDEF", value));
    EXPECT_EQ(value, 0x89ABCDEFu);
}

TEST(HexStringToDword, EmptyTextIsZero) {
    std::uint32_t value = 77;
    EXPECT_TRUE(HexStringToDword("", value));
    EXPECT_EQ(value, 0u);
}

TEST(HexStringToDword, LowerCaseIsRefused) {
    std::uint32_t value = 77;
    EXPECT_FALSE(HexStringToDword("a0000000", value));
    EXPECT_EQ(value, 0u);
}

TEST(HexStringToDword, FailureLeavesTheSumSoFar) {
    std::uint32_t value = 0;
    // Aligned to "000012G4": the digits before G have been added.
    EXPECT_FALSE(HexStringToDword("12G4", value));
    EXPECT_EQ(value, 0x1200u);
    EXPECT_FALSE(HexStringToDword("0x10", value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(HexStringToDword("12 4", value));
    EXPECT_EQ(value, 0x1200u);
    EXPECT_FALSE(HexStringToDword(std::string("1\0"
                                              "2",
                                              3),
                                  value));
    EXPECT_EQ(value, 0x100u);
}

TEST(HexStringToDword, TextLongerThanEightIsRefused) {
    std::uint32_t value = 77;
    EXPECT_FALSE(HexStringToDword("000000001", value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(HexStringToDword(std::string(5000, 'F'), value));
    EXPECT_EQ(value, 0u);
}

} // namespace
} // namespace marlow::uartloader
