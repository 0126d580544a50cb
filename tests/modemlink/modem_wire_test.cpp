#include "modemlink/modem_wire.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::modemlink {
namespace {

TEST(ModemWire, Crc32MatchesTheStandardCheckValueAlsoTakenPieceByPiece) {
    const std::string check = "123456789";
    const std::vector<std::uint8_t> bytes(check.begin(), check.end());
    EXPECT_EQ(Crc32(bytes), 0xCBF43926u);
    const std::span<const std::uint8_t> all(bytes);
    EXPECT_EQ(Crc32(all.subspan(4), Crc32({}, Crc32(all.first(4)))), 0xCBF43926u);
    EXPECT_EQ(Crc32Combine(Crc32(all.first(4)), Crc32(all.subspan(4)), 5), 0xCBF43926u);
}

TEST(ModemWire, FrameLayoutIsStartTypeSequenceLengthPayloadCrc) {
    const std::vector<std::uint8_t> bytes = EncodeFrame({FrameType::Ack, 7, {0xAA, 0xBB}});
    ASSERT_EQ(bytes.size(), kHeaderSize + 2 + kTrailerSize);
    EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 9),
                ::testing::ElementsAre(0xA5, 0x80, 7, 2, 0, 0, 0, 0xAA, 0xBB));
    const std::vector<std::uint8_t> covered(bytes.begin() + 1, bytes.begin() + 9);
    const std::uint32_t crc = Crc32(covered);
    EXPECT_EQ(bytes[9], crc & 0xFF);
    EXPECT_EQ(bytes[12], crc >> 24);
    const std::vector<std::uint8_t> tail{0xBB};
    EXPECT_EQ(EncodeFrame({FrameType::Ack, 7, {0xAA, 0xBB}}, Crc32(tail), 1), bytes);
}

TEST(ModemWire, DecoderReassemblesFramesFedInSmallPieces) {
    const Frame first{FrameType::FileData, 3,
                      EncodeFileData(4096, std::vector<std::uint8_t>(10, 1))};
    const Frame second{FrameType::Ack, 4, {}};
    std::vector<std::uint8_t> bytes = EncodeFrame(first);
    const std::vector<std::uint8_t> secondBytes = EncodeFrame(second);
    bytes.insert(bytes.end(), secondBytes.begin(), secondBytes.end());
    FrameDecoder decoder;
    std::vector<Frame> frames;
    for (std::size_t at = 0; at < bytes.size(); at += 5) {
        decoder.Feed(std::span(bytes).subspan(at, std::min<std::size_t>(5, bytes.size() - at)));
        while (std::optional<Frame> frame = decoder.Next())
            frames.push_back(*frame);
    }
    EXPECT_THAT(frames, ::testing::ElementsAre(first, second));
    EXPECT_EQ(decoder.Discarded(), 0u);
    EXPECT_EQ(FileDataCrc(frames[0]), Crc32(std::vector<std::uint8_t>(10, 1)));
}

// A length too large for any frame is not waited for.
TEST(ModemWire, DecoderSkipsNoiseOversizedAndCorruptFrames) {
    std::vector<std::uint8_t> stream = {0x00, 0x13, kStartByte, 0x99, kStartByte, 0x03,
                                        1,    0xFF, 0xFF,       0xFF, 0x7F};
    std::vector<std::uint8_t> corrupt = EncodeFrame({FrameType::Ready, 1, EncodeText("hi")});
    corrupt[8] ^= 0xFF;
    stream.insert(stream.end(), corrupt.begin(), corrupt.end());
    const Frame good{FrameType::Error, 2, EncodeText("bad")};
    const std::vector<std::uint8_t> goodBytes = EncodeFrame(good);
    stream.insert(stream.end(), goodBytes.begin(), goodBytes.end());
    FrameDecoder decoder;
    decoder.Feed(stream);
    EXPECT_EQ(decoder.Next(), good);
    EXPECT_FALSE(decoder.Next().has_value());
    EXPECT_GT(decoder.Discarded(), 0u);
}

TEST(ModemWire, PayloadsRoundTrip) {
    const BootRequest boot{{1, 2, 3, 4, 5, 6}, "modem.fls"};
    EXPECT_EQ(DecodeBoot(EncodeBoot(boot)), boot);
    const FileBegin begin{FileKind::Eep, 0, 1234, "modem.eep"};
    EXPECT_EQ(DecodeFileBegin(EncodeFileBegin(begin)), begin);
    EXPECT_EQ(DecodeFileEnd(EncodeFileEnd(0xDEADBEEF)), 0xDEADBEEFu);
    EXPECT_FALSE(DecodeFileBegin(std::vector<std::uint8_t>{9, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A payload cut anywhere before the end of its fixed fields is refused, not
// read past.
TEST(ModemWire, PayloadsShorterThanTheirFixedFieldsAreRefused) {
    const std::vector<std::uint8_t> boot = EncodeBoot({{1, 2, 3, 4, 5, 6}, ""});
    const std::vector<std::uint8_t> begin = EncodeFileBegin({FileKind::Fls, 7, 1234, ""});
    const std::vector<std::uint8_t> data = EncodeFileData(42, {});
    const std::vector<std::uint8_t> end = EncodeFileEnd(0xDEADBEEF);
    const struct {
        const std::vector<std::uint8_t>& whole;
        bool (*decodes)(std::span<const std::uint8_t>);
    } rows[] = {
        {boot, [](std::span<const std::uint8_t> p) { return DecodeBoot(p).has_value(); }},
        {begin, [](std::span<const std::uint8_t> p) { return DecodeFileBegin(p).has_value(); }},
        {data, [](std::span<const std::uint8_t> p) { return DecodeFileData(p).has_value(); }},
        {end, [](std::span<const std::uint8_t> p) { return DecodeFileEnd(p).has_value(); }},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(row.decodes(row.whole));
        for (std::size_t length = 0; length < row.whole.size(); ++length) {
            // A copy of just that length, so that a read past it is the sanitizer's to see.
            const std::vector<std::uint8_t> cut(row.whole.begin(),
                                                row.whole.begin() + static_cast<long>(length));
            EXPECT_FALSE(row.decodes(cut)) << "the first " << length << " of " << row.whole.size();
        }
    }
}

} // namespace
} // namespace marlow::modemlink
