// The virtual bus's framing: length-prefixed frames, zero-length packets,
// frames split across reads and lengths beyond the bound.

#include "usb/virtual_bus_frame.h"

#include <gtest/gtest.h>

#include <tuple>

namespace marlow::usb {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes NextFrame(FrameDecoder& decoder,
                FrameDecoder::Status expected = FrameDecoder::Status::Frame) {
    std::span<const std::uint8_t> frame;
    EXPECT_EQ(decoder.Next(frame), expected);
    return {frame.begin(), frame.end()};
}

// An empty frame is a header alone: the split test below carries one.
TEST(VirtualBusFrame, LengthIsLittleEndianBeforeThePayload) {
    EXPECT_EQ(EncodeFrame(Bytes{0xaa, 0xbb, 0xcc}), (Bytes{3, 0, 0, 0, 0xaa, 0xbb, 0xcc}));
    EXPECT_EQ(FrameHeader(0x01020304), (std::array<std::uint8_t, 4>{4, 3, 2, 1}));
}

// The text as the operator sees it, the port path and the serial number
// where the device names them; a device that names none (as every one
// before the fields) has none.
TEST(VirtualBusFrame, ADescriptionIsItsTextWhereTheDeviceSitsAndWhichItIs) {
    const std::tuple<std::string_view, VirtualDeviceDescription> rows[] = {
        {"PDA\tloader\x01", {"PDA?loader?"}},
        {"", {"Virtual USB device"}},
        {"Rig\nport=1-2.3", {"Rig", "1-2.3"}},
        {"Rig\nserial=QE1-0042\nport=3-1.4.2\nbaud=9\n", {"Rig", "3-1.4.2", "QE1-0042"}},
        {"\nport=12-7", {"Virtual USB device", "12-7"}},
    };
    for (const auto& [frame, expected] : rows) {
        const Result<VirtualDeviceDescription> read =
            ParseDescription(Bytes(frame.begin(), frame.end()));
        ASSERT_TRUE(read) << frame;
        EXPECT_EQ(*read, expected) << frame;
        EXPECT_EQ(ParseDescription(DescriptionFrame(expected)).Value(), expected) << frame;
    }
    for (const char* port : {"1-x", "1-0", "0-1", "1-1.256", "01-1", "1-", "1-1.1.1.1.1.1.1.1"})
        EXPECT_EQ(ParseDescription(DescriptionFrame({"Rig", port})).Error(),
                  " gave the port path \"" + std::string(port) +
                      "\", which is no USB port path (such as 1-2.3); disconnected as garbage");
    EXPECT_EQ(ParseDescription(DescriptionFrame({"Rig", "", "QE\x01"})).Error(),
              " gave the serial number \"QE\\x01\", which holds bytes outside printable ASCII; "
              "disconnected as garbage");
}

TEST(VirtualBusFrame, FramesSplitAndJoinedAnyHowComeOutWhole) {
    Bytes stream = EncodeFrame(Bytes{1, 2, 3});
    for (const Bytes& more : {EncodeFrame({}), EncodeFrame(Bytes{4})})
        stream.insert(stream.end(), more.begin(), more.end());
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, stream.size()}) {
        FrameDecoder decoder(16);
        std::vector<Bytes> frames;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            decoder.Append(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
            std::span<const std::uint8_t> frame;
            while (decoder.Next(frame) == FrameDecoder::Status::Frame)
                frames.emplace_back(frame.begin(), frame.end());
        }
        EXPECT_EQ(frames, (std::vector<Bytes>{{1, 2, 3}, {}, {4}})) << "pieces of " << piece;
        EXPECT_TRUE(decoder.Empty());
    }
}

TEST(VirtualBusFrame, SteadyTrafficReusesOneBuffer) {
    const Bytes packet = EncodeFrame(Bytes(8205, 0x5a));
    FrameDecoder decoder(kVirtualBusMaxFrame);
    const std::uint8_t* first = nullptr;
    for (int round = 0; round < 200; ++round) {
        // Reads that end in the middle of a frame, as a socket's do.
        const std::size_t cut = 1 + static_cast<std::size_t>(round) * 37 % (packet.size() - 1);
        decoder.Append(std::span(packet).first(cut));
        NextFrame(decoder, FrameDecoder::Status::NeedMore);
        const std::span<std::uint8_t> room = decoder.Space(packet.size() - cut);
        std::copy(packet.begin() + static_cast<std::ptrdiff_t>(cut), packet.end(), room.begin());
        decoder.Commit(packet.size() - cut);
        ASSERT_EQ(NextFrame(decoder).size(), 8205u);
        const std::uint8_t* now = decoder.Space(1).data();
        if (first == nullptr)
            first = now;
        EXPECT_EQ(now, first) << "round " << round; // neither grown nor shifted
    }
}

// The description's bound is raised for the frames after it.
TEST(VirtualBusFrame, ALengthBeyondTheBoundIsRefusedFromTheHeaderAlone) {
    FrameDecoder decoder(8);
    decoder.Append(Bytes{8, 0, 0, 0});
    NextFrame(decoder, FrameDecoder::Status::NeedMore); // exactly the bound is fine
    FrameDecoder garbage(kVirtualBusMaxFrame);
    garbage.Append(Bytes{0x01, 0x00, 0x00, 0x01}); // 16 MiB + 1
    NextFrame(garbage, FrameDecoder::Status::Oversized);
    EXPECT_EQ(garbage.AnnouncedLength(), kVirtualBusMaxFrame + 1);
    FrameDecoder description(kVirtualBusMaxDescription);
    description.Append(EncodeFrame(Bytes(2000, 7)));
    NextFrame(description, FrameDecoder::Status::Oversized);
    description.SetMaxFrameLength(kVirtualBusMaxFrame);
    EXPECT_EQ(NextFrame(description).size(), 2000u);
}

} // namespace
} // namespace marlow::usb
