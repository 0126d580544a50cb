// The virtual bus's framing: length-prefixed frames, zero-length packets,
// frames split across reads and lengths beyond the bound.

#include "pda/virtual_bus_frame.h"

#include <gtest/gtest.h>

namespace marlow::pda {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(VirtualBusFrame, LengthIsLittleEndianBeforeThePayload) {
    EXPECT_EQ(EncodeFrame(Bytes{0xaa, 0xbb, 0xcc}), (Bytes{3, 0, 0, 0, 0xaa, 0xbb, 0xcc}));
    EXPECT_EQ(EncodeFrame(Bytes(0x0102, 0)).size(), 4u + 0x0102);
    EXPECT_EQ(EncodeFrame(Bytes(0x0102, 0))[1], 0x01);
}

TEST(VirtualBusFrame, AZeroLengthPacketIsAnEmptyFrame) {
    EXPECT_EQ(EncodeFrame({}), (Bytes{0, 0, 0, 0}));
    FrameDecoder decoder(16);
    decoder.Append(Bytes{0, 0, 0, 0});
    Bytes frame{1};
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::Frame);
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::NeedMore);
}

TEST(VirtualBusFrame, FramesSplitAndJoinedAnyHowComeOutWhole) {
    Bytes stream = EncodeFrame(Bytes{1, 2, 3});
    const Bytes second = EncodeFrame({});
    const Bytes third = EncodeFrame(Bytes{4});
    stream.insert(stream.end(), second.begin(), second.end());
    stream.insert(stream.end(), third.begin(), third.end());

    FrameDecoder decoder(16);
    std::vector<Bytes> frames;
    Bytes frame;
    for (const std::uint8_t byte : stream) {
        decoder.Append(Bytes{byte});
        while (decoder.Next(frame) == FrameDecoder::Status::Frame)
            frames.push_back(frame);
    }
    EXPECT_EQ(frames, (std::vector<Bytes>{{1, 2, 3}, {}, {4}}));
    EXPECT_TRUE(decoder.Empty());
}

TEST(VirtualBusFrame, ALengthBeyondTheBoundIsRefusedFromTheHeaderAlone) {
    FrameDecoder decoder(8);
    Bytes frame;
    decoder.Append(Bytes{8, 0, 0, 0});
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::NeedMore); // exactly the bound is fine
    FrameDecoder garbage(kVirtualBusMaxFrame);
    garbage.Append(Bytes{0x01, 0x00, 0x00, 0x01}); // 16 MiB + 1
    EXPECT_EQ(garbage.Next(frame), FrameDecoder::Status::Oversized);
    EXPECT_EQ(garbage.AnnouncedLength(), kVirtualBusMaxFrame + 1);
}

TEST(VirtualBusFrame, TheBoundCanGrowAfterTheDescription) {
    FrameDecoder decoder(kVirtualBusMaxDescription);
    decoder.Append(EncodeFrame(Bytes(2000, 7)));
    Bytes frame;
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::Oversized);
    decoder.SetMaxFrameLength(kVirtualBusMaxFrame);
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::Frame);
    EXPECT_EQ(frame.size(), 2000u);
}

} // namespace
} // namespace marlow::pda
