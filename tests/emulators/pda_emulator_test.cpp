// The boot loader emulator must catch every way a host can break the
// protocol, or the download tests would prove nothing.

#include "emulators/pda_bootloader_emulator.h"
#include "pda/boot_image.h"
#include "pda/pda_protocol.h"

#include <gtest/gtest.h>

namespace marlow::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pda::PdaCommand;

Bytes Of(std::span<const std::uint8_t> span) {
    return {span.begin(), span.end()};
}

class RecordingPort : public emulators::PdaDevicePort {
public:
    Bytes replies;
    int left = 0;
    void SendReply(std::span<const std::uint8_t> bytes, std::chrono::milliseconds) override {
        replies.insert(replies.end(), bytes.begin(), bytes.end());
    }
    void LeaveBus() override { ++left; }
};

class EmulatorTest : public testing::Test {
protected:
    RecordingPort port;
    pda::PdaPacketBuilder build;
};

Bytes Flipped(std::span<const std::uint8_t> packet, std::size_t at, std::uint8_t bits) {
    Bytes bytes = Of(packet);
    bytes[at] ^= bits;
    return bytes;
}

// Each row's packets, sent to a fresh emulator (after an image's header when
// `inImage`), end in its violation.
TEST_F(EmulatorTest, EveryBreachOfTheProtocolIsAViolation) {
    Bytes emptyChunk(13, 0);
    emptyChunk[0] = 0x02;
    const struct {
        bool inImage;
        std::vector<Bytes> packets;
        std::string violation;
    } rows[] = {
        {true,
         {Of(build.RecordData(0x80001000, Bytes(51, 1))), // 64 bytes on the wire
          Of(build.Single(PdaCommand::LAST_DATA_IN_RECORD))},
         "no zero-length packet after a transfer of a multiple of 64 bytes"},
        {true, {Bytes{}}, "a zero-length packet that no 64-byte multiple asked for"},
        {true,
         {Flipped(build.RecordData(0x80001000, Bytes(10, 1)), 9, 1)},
         "RECORD_DATA_CMD at 0x80001000: checksum field does not match the data"},
        {false, {Bytes{0x01, 0, 0, 0}}, "ERASE_RAM_CMD packet of 4 bytes, expected 9"},
        {true, {emptyChunk}, "RECORD_DATA_CMD with 0 data bytes"},
        {false, {Bytes{0x09}}, "unknown command byte 0x09"},
        {false, {Bytes{0x03}}, "LAST_DATA_IN_RECORD outside an image"},
        {true,
         {Flipped(build.LastDataInImage(1), 1, 1)},
         "LAST_DATA_IN_IMAGE with a non-zero address or checksum field"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.violation);
        emulators::PdaBootLoaderEmulator fresh;
        RecordingPort freshPort;
        if (row.inImage)
            fresh.OnTransfer(build.EraseRam({0x80000000, 0x1000}), freshPort);
        for (const Bytes& packet : row.packets)
            fresh.OnTransfer(packet, freshPort);
        EXPECT_EQ(fresh.Report().violation, row.violation);
        EXPECT_EQ(freshPort.left, 1);
    }
}

TEST_F(EmulatorTest, LargeImagesKeepOnlyTheirDigest) {
    emulators::PdaEmulatorOptions options;
    options.keepBytesLimit = 16384;
    emulators::PdaBootLoaderEmulator small(options);
    small.OnTransfer(build.EraseRam({0, 0}), port);
    for (std::uint32_t i = 0; i < 3; ++i)
        small.OnTransfer(build.RecordData(i * 8192, Bytes(8192, static_cast<std::uint8_t>(i))),
                         port);
    const auto report = small.Report();
    ASSERT_EQ(report.ram.size(), 1u);
    EXPECT_FALSE(report.ram[0].chunksKept);
    EXPECT_TRUE(report.ram[0].keptChunks.empty());
    EXPECT_EQ(report.ram[0].digest.Bytes(), 3u * 8192);
    EXPECT_EQ(report.transcript, (std::vector<std::string>{"ERASE_RAM_CMD", "RECORD_DATA_CMD x3"}));
}

TEST(PdaDataDigestTest, NoticesLostReorderedAndAlteredChunks) {
    const Bytes a(100, 1), b(100, 2);
    emulators::PdaDataDigest straight, swapped, altered, lost;
    straight.AddChunk(0, a);
    straight.AddChunk(100, b);
    swapped.AddChunk(100, b);
    swapped.AddChunk(0, a);
    Bytes changed = b;
    changed[99] = 3;
    altered.AddChunk(0, a);
    altered.AddChunk(100, changed);
    lost.AddChunk(0, a);
    EXPECT_NE(straight.Value(), swapped.Value());
    EXPECT_NE(straight.Value(), altered.Value());
    EXPECT_NE(straight.Value(), lost.Value());
}

} // namespace
} // namespace marlow::test
