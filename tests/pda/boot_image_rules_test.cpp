#include "pda/boot_image.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <vector>

namespace marlow::pda {
namespace {

std::uint32_t NaiveSum(const std::uint8_t* bytes, std::size_t count) {
    return std::accumulate(bytes, bytes + count, std::uint32_t{0});
}

TEST(BootImageHeaders, FieldsAreLittleEndianAfterTheUncheckedSyncBytes) {
    const std::array<std::uint8_t, kImageHeaderSize> header = {
        'X', 'Y', 'Z', 0, 0, 0, 0, 0x00, 0x10, 0x20, 0x80, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(ParseImageHeader(header), (ImageHeader{0x80201000, 0x12345678}));

    const std::array<std::uint8_t, kRecordHeaderSize> record = {1, 2, 3,    4, 5, 6,
                                                                7, 8, 0xFF, 0, 0, 0x80};
    EXPECT_EQ(ParseRecordHeader(record), (RecordHeader{0x04030201, 0x08070605, 0x800000FF}));
}

// Address zero with a non-zero sum is data (BootImageScan shows that); a zero
// sum at any other address is data too.
TEST(BootImageHeaders, ChecksumZeroAtAnotherAddressIsData) {
    EXPECT_FALSE((RecordHeader{0x1000, 16, 0}).IsEndRecord());
}

TEST(RecordByteSum, MatchesAPlainLoopForEveryLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> bytes(1200);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    for (std::size_t start = 0; start < 17; ++start)
        for (std::size_t length = 0; start + length <= 1100; length += 1 + length / 7)
            ASSERT_EQ(RecordByteSum({bytes.data() + start, length}),
                      NaiveSum(bytes.data() + start, length))
                << "start " << start << " length " << length;
}

TEST(RecordByteSum, LanesDoNotOverflowOnLongRunsOfFF) {
    const std::vector<std::uint8_t> bytes(3 * 65536 + 5, 0xFF);
    EXPECT_EQ(RecordByteSum(bytes), 255u * bytes.size());
}

TEST(RecordByteSum, WrapsModulo2To32) {
    // 16843010 * 255 = 2^32 + 254
    const std::vector<std::uint8_t> bytes(16843010, 0xFF);
    EXPECT_EQ(RecordByteSum(bytes), 254u);
}

TEST(ChunkCount, RecordsAreCutInto8192ByteChunks) {
    EXPECT_EQ(ChunkCount(0), 0u);
    EXPECT_EQ(ChunkCount(1), 1u);
    EXPECT_EQ(ChunkCount(8192), 1u);
    EXPECT_EQ(ChunkCount(8193), 2u);
    EXPECT_EQ(ChunkCount(0xFFFFFFFF), 524288u);
}

} // namespace
} // namespace marlow::pda
