#include "uartloader/parity_crc.h"
#include "uartloader/parity_crc_variants.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

namespace marlow::uartloader {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

// Not CRC-32/MPEG-2, whose "abc" gives 0x9B73448C.
TEST(ParityCrcVectors, KnownValuesFromTheBootFlasher) {
    for (const auto crc : {CalcParityCrc, CalcParityCrcBitwise}) {
        EXPECT_EQ(crc(Bytes("abc")), 0xB7051F63u);
        EXPECT_EQ(crc({}), 0xFFFFFFFFu);
        EXPECT_EQ(crc(std::vector<std::uint8_t>(4, 0)), 0xC704DD7Bu);
    }
}

using Variant = std::uint32_t (*)(std::uint32_t, std::span<const std::uint8_t>);

struct NamedVariant {
    const char* name;
    Variant run;
};

void PrintTo(const NamedVariant& variant, std::ostream* out) {
    *out << variant.name;
}

class ParityCrcVariantAgreement : public ::testing::TestWithParam<NamedVariant> {};

TEST_P(ParityCrcVariantAgreement, MatchesBitwiseForEveryLengthUpTo300) {
    std::mt19937 rng(1234);
    for (std::size_t size = 0; size <= 300; ++size) {
        const auto data = RandomBytes(rng, size);
        const std::uint32_t start = static_cast<std::uint32_t>(rng());
        ASSERT_EQ(GetParam().run(start, data), crc_variants::Bitwise(start, data))
            << "length " << size;
    }
}

TEST_P(ParityCrcVariantAgreement, MatchesBitwiseOverAMegabyte) {
    std::mt19937 rng(99);
    const auto data = RandomBytes(rng, 1 << 20);
    EXPECT_EQ(GetParam().run(crc_variants::kInitialRegister, data), CalcParityCrcBitwise(data));
}

INSTANTIATE_TEST_SUITE_P(AllForms, ParityCrcVariantAgreement,
                         ::testing::Values(NamedVariant{"Bytewise", crc_variants::Bytewise},
                                           NamedVariant{"SliceBy4", crc_variants::SliceBy4},
                                           NamedVariant{"SliceBy8", crc_variants::SliceBy8},
                                           NamedVariant{"SliceBy16", crc_variants::SliceBy16},
                                           NamedVariant{"Continue", ContinueParityCrc}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParityCrcContinuation, RandomSplitsGiveTheWholeBufferCrc) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const auto data = RandomBytes(rng, rng() % 300);
        std::uint32_t crc = crc_variants::kInitialRegister;
        std::size_t at = 0;
        while (at < data.size()) {
            const std::size_t piece = std::min<std::size_t>(rng() % 40, data.size() - at);
            crc = ContinueParityCrc(crc, std::span(data).subspan(at, piece));
            at += piece;
        }
        ASSERT_EQ(crc, CalcParityCrcBitwise(data)) << "round " << round;
    }
}

} // namespace
} // namespace marlow::uartloader
