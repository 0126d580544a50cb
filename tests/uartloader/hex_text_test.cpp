#include "uartloader/hex_text.h"

#include <gtest/gtest.h>

namespace marlow::uartloader {
namespace {

// The text is right-aligned to eight digits. A refusal leaves the sum of
// the digits before the bad one: "12G4" is "000012G4", so 0x1200.
TEST(HexStringToDword, ReadsUpToEightUpperCaseDigitsOrRefuses) {
    const struct {
        std::string text;
        bool ok;
        std::uint32_t value;
    } rows[] = {
        {"3D00000", true, 0x03D00000u},
        {"1F", true, 0x1Fu},
        {"A0000000", true, 0xA0000000u},
        {"FFFFFFFF", true, 0xFFFFFFFFu},
        {"01234567", true, 0x01234567u},
        {"89ABCDEF", true, 0x89ABCDEFu},
        {"", true, 0u},
        {"a0000000", false, 0u},
        {"12G4", false, 0x1200u},
        {"0x10", false, 0u},
        {"12 4", false, 0x1200u},
        {std::string("1\0"
                     "2",
                     3),
         false, 0x100u},
        {"000000001", false, 0u},
        {std::string(5000, 'F'), false, 0u},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 12));
        std::uint32_t value = 77;
        EXPECT_EQ(HexStringToDword(row.text, value), row.ok);
        EXPECT_EQ(value, row.value);
    }
}

} // namespace
} // namespace marlow::uartloader
