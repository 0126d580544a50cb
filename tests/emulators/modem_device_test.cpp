// The modem emulator's protocol side, frame by frame. Its refused boot,
// failing part and vanishing are met end to end in the stand-in modem test.

#include "emulators/modem_device.h"

#include <gtest/gtest.h>

namespace marlow::emulators {
namespace {

using namespace modemlink;
using Bytes = std::vector<std::uint8_t>;

class ModemDeviceTest : public ::testing::Test {
protected:
    // Through the wire, so the device meets each frame as the line delivers it.
    ModemAnswer Send(FrameType type, std::vector<std::uint8_t> payload = {}) {
        FrameDecoder line;
        line.Feed(EncodeFrame({type, ++sequence, std::move(payload)}));
        return device.Handle(*line.Next());
    }
    ModemAnswer Boot() { return Send(FrameType::Boot, EncodeBoot({{}, "modem.fls"})); }
    ModemAnswer Begin(const std::string& name, std::uint32_t size) {
        return Send(FrameType::FileBegin, EncodeFileBegin({FileKind::Fls, 0, size, name}));
    }
    ModemAnswer Data(std::uint32_t offset, const Bytes& bytes) {
        return Send(FrameType::FileData, EncodeFileData(offset, bytes));
    }
    ModemAnswer End(std::uint32_t crc) { return Send(FrameType::FileEnd, EncodeFileEnd(crc)); }
    // Sends a whole file; returns the answer to its end.
    ModemAnswer SendFile(const std::string& name, const Bytes& data) {
        const ModemAnswer begun = Begin(name, static_cast<std::uint32_t>(data.size()));
        if (begun.kind != ModemAnswer::Kind::Reply || begun.reply.type != FrameType::Ack)
            return begun;
        Data(0, data);
        return End(Crc32(data));
    }
    static std::string Text(const ModemAnswer& answer) { return DecodeText(answer.reply.payload); }

    ModemDevice device;
    std::uint8_t sequence = 0;
};

// Replies carry their request's sequence; without keeping data a file is
// checked and its size kept, not its bytes.
TEST_F(ModemDeviceTest, BootThenFilesAreStored) {
    for (const bool keep : {true, false}) {
        device = ModemDevice({}, keep);
        const ModemAnswer booted = Boot();
        EXPECT_EQ(booted.reply.type, FrameType::Ready);
        EXPECT_EQ(booted.reply.sequence, sequence);
        EXPECT_EQ(SendFile("psi.flb", {1, 2, 3}).reply.type, FrameType::Ack);
        ASSERT_EQ(device.Files().size(), 1u);
        EXPECT_EQ(device.Files()[0].name, "psi.flb");
        EXPECT_EQ(device.Files()[0].size, 3u);
        EXPECT_EQ(device.Files()[0].data, (keep ? Bytes{1, 2, 3} : Bytes{}));
    }
}

TEST_F(ModemDeviceTest, BadChecksumIsRefused) {
    Boot();
    Begin("slb.flb", 2);
    Data(0, {1, 2});
    EXPECT_EQ(Text(End(0)), "Checksum mismatch: slb.flb");
    EXPECT_TRUE(device.Files().empty());
}

TEST_F(ModemDeviceTest, OutOfOrderAndExcessDataAreRefused) {
    Boot();
    Begin("a.fls", 2);
    EXPECT_EQ(Text(Data(1, {1})), "File data out of order: a.fls");
    EXPECT_EQ(Text(Data(0, {1, 2, 3})), "More data than announced: a.fls");
}

TEST_F(ModemDeviceTest, StalledBootsGetNoAnswerThenOneDoes) {
    device = ModemDevice(ModemFaults{.stallBoots = 1});
    EXPECT_EQ(Boot().kind, ModemAnswer::Kind::Silence);
    EXPECT_EQ(Boot().reply.type, FrameType::Ready);
    EXPECT_EQ(device.Boots(), 2);
}

TEST_F(ModemDeviceTest, AbortDropsThePartialFile) {
    Boot();
    Begin("a.fls", 4);
    EXPECT_EQ(Send(FrameType::Abort).reply.type, FrameType::Ack);
    EXPECT_EQ(Text(End(0)), "No file in progress");
    EXPECT_EQ(device.Aborts(), 1);
}

// Files before the first boot, or after an end of process, are refused.
TEST_F(ModemDeviceTest, EndOfProcessNeedsANewBoot) {
    const ModemAnswer early = SendFile("psi.flb", {1});
    EXPECT_EQ(early.reply.type, FrameType::Error);
    EXPECT_EQ(Text(early), "The modem is not booted");
    Boot();
    EXPECT_EQ(Send(FrameType::EndOfProcess).reply.type, FrameType::Ack);
    EXPECT_EQ(device.EndsOfProcess(), 1);
    EXPECT_EQ(Text(SendFile("psi.flb", {1})), "The modem is not booted");
}

TEST_F(ModemDeviceTest, OversizedFileIsRefusedUpFront) {
    Boot();
    EXPECT_EQ(Text(Begin("big.fls", ModemDevice::kLargestFile + 1)),
              "File too large for the modem: big.fls");
}

} // namespace
} // namespace marlow::emulators
