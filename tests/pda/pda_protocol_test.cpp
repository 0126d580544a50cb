// The reply rules, and the protocol's bytes in a chat with the host over a
// real pipe where this test plays the boot loader (the emulator checks each
// record's sum in every whole download).

#include "support/pda_rig.h"

#include "emulators/pda_in_process_device.h"
#include "pda/pda_protocol.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>

namespace marlow::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pda::PdaCommand;

// ---------------------------------------------------------------------------
// Reply rules

class ScriptedReplies : public pda::ReplyChannel {
public:
    std::deque<std::uint8_t> bytes;
    bool failWhenEmpty = true;
    bool stop = false;
    int pauses = 0;
    bool StopRequested() const override { return stop; }
    pda::ReplyRead ReadReplyByte(std::uint8_t& byte) override {
        if (bytes.empty())
            return pda::ReplyRead::Failed;
        byte = bytes.front();
        bytes.pop_front();
        return pda::ReplyRead::Ok;
    }
    void Pause(std::chrono::milliseconds duration) override {
        EXPECT_EQ(duration.count(), 100);
        ++pauses;
    }
};

// Each row: what the boot loader has sent (or a stop already asked for) and
// how the wait for one command's reply ends, after how many 100 ms pauses and
// with how many bytes left unread.
TEST(PdaReplies, EachWayAWaitEnds) {
    using enum pda::ReplyOutcome;
    const struct {
        const char* name;
        std::string bytes;
        bool stop;
        PdaCommand command;
        pda::ReplyOutcome outcome;
        int pauses;
        std::size_t left;
        std::string error;
    } rows[] = {
        {"code after two unexpected bytes", "\x02\x02\x03", false, PdaCommand::LAST_DATA_IN_RECORD,
         Received, 2, 0, ""},
        {"fifty unexpected bytes", std::string(60, '\x02'), false, PdaCommand::LAST_DATA_IN_RECORD,
         Exhausted, 50, 10, "LAST_DATA_IN_RECORD: 50 unexpected replies, the last 0x02"},
        {"zero is NAK", std::string("\x07\x00", 2), false, PdaCommand::ERASE_RAM_CMD, Nak, 1, 0,
         "ERASE_RAM_CMD: the device answered NAK"},
        {"stop before the read", "\x01", true, PdaCommand::ERASE_RAM_CMD, Stopped, 0, 1,
         "ERASE_RAM_CMD: stopped while waiting for the reply"},
        {"failed read", "", false, PdaCommand::LAST_DATA_IN_IMAGE, Failed, 0, 0,
         "LAST_DATA_IN_IMAGE: the reply could not be read"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedReplies replies;
        replies.bytes.assign(row.bytes.begin(), row.bytes.end());
        replies.stop = row.stop;
        const pda::ReplyWait wait = pda::AwaitReply(replies, row.command);
        EXPECT_EQ(wait.outcome, row.outcome);
        EXPECT_EQ(replies.pauses, row.pauses);
        EXPECT_EQ(replies.bytes.size(), row.left);
        EXPECT_EQ(wait.error, row.error);
    }
}

TEST(PdaReplies, FlashWaitPassesOverEverythingButItsCode) {
    ScriptedReplies replies;
    replies.bytes = {0x00, 0x00, 0x04, 0x00, 0x05};
    const pda::FlashWait wait = pda::AwaitFlashWritten(replies);
    EXPECT_EQ(wait.outcome, pda::FlashOutcome::Written);
    EXPECT_EQ(replies.pauses, 4);
    ScriptedReplies gone;
    EXPECT_EQ(pda::AwaitFlashWritten(gone).outcome, pda::FlashOutcome::Failed);
}

// ---------------------------------------------------------------------------
// On the wire

class BootLoaderChat {
public:
    explicit BootLoaderChat(emulators::InProcessUsbDevice& device) : device_(device) {}

    void Expect(const Bytes& expected, const char* what) {
        const std::optional<Bytes> got = device_.NextTransfer();
        ASSERT_TRUE(got.has_value()) << what << ": the host sent nothing more";
        EXPECT_EQ(*got, expected) << what << "\nexpected:\n"
                                  << HexDump(expected) << "got:\n"
                                  << HexDump(*got);
    }
    void ExpectSize(std::size_t size, std::uint8_t code, const char* what) {
        const std::optional<Bytes> got = device_.NextTransfer();
        ASSERT_TRUE(got.has_value()) << what;
        EXPECT_EQ(got->size(), size) << what;
        if (!got->empty()) {
            EXPECT_EQ((*got)[0], code) << what;
        }
        last_ = *got;
    }
    void Reply(std::uint8_t byte) { device_.Reply({&byte, 1}); }
    const Bytes& Last() const { return last_; }

private:
    emulators::InProcessUsbDevice& device_;
    Bytes last_;
};

TEST(PdaWire, ChunksOf8192And8193And51DataBytesWithTheZeroLengthPacket) {
    PdaRig rig;
    emulators::DetachEmulator(*rig.device); // this test is the boot loader
    pda::BootImagePlan layout = SmallImage(8192, 1);
    pda::BootImagePlan second = SmallImage(8193, 1, 2);
    second.records[0].address = 0x80100000;
    pda::BootImagePlan third = SmallImage(51, 1, 3);
    third.records[0].address = 0x80200000;
    layout.records.push_back(second.records[0]);
    layout.records.push_back(third.records[0]);
    rig.Use(rig.WriteImage("nk.bin", layout), pda::DownloadTarget::Ram);

    std::thread host([&] { rig.Run(); });
    BootLoaderChat chat(*rig.device);
    chat.Expect({0x01, 0x00, 0x00, 0x00, 0x80, 0x00, 0x10, 0x00, 0x00}, "ERASE_RAM_CMD");
    chat.Reply(0x01);

    chat.ExpectSize(8205, 0x02, "record of 8192");
    EXPECT_EQ(Bytes(chat.Last().begin() + 1, chat.Last().begin() + 9),
              (Bytes{0x00, 0x10, 0x00, 0x80, 0x00, 0x20, 0x00, 0x00}));
    chat.Expect({0x03}, "LAST_DATA_IN_RECORD after 8192");
    chat.Reply(0x03);

    chat.ExpectSize(8205, 0x02, "first chunk of 8193");
    chat.ExpectSize(14, 0x02, "second chunk of 8193");
    EXPECT_EQ(Bytes(chat.Last().begin() + 1, chat.Last().begin() + 9),
              (Bytes{0x00, 0x20, 0x10, 0x80, 0x01, 0x00, 0x00, 0x00}));
    chat.Expect({0x03}, "LAST_DATA_IN_RECORD after 8193");
    chat.Reply(0x03);

    chat.ExpectSize(64, 0x02, "record of 51");
    chat.Expect({}, "zero-length packet after 64 bytes");
    chat.Expect({0x03}, "LAST_DATA_IN_RECORD after 51");
    chat.Reply(0x03);

    chat.Expect({0x04, 0, 0, 0, 0, 0x00, 0x10, 0x00, 0x80, 0, 0, 0, 0}, "LAST_DATA_IN_IMAGE");
    chat.Reply(0x04);
    chat.Expect({0x06}, "DOWNLOAD_DONE_CMD");
    host.join();
    EXPECT_TRUE(rig.pipe->Completed());
}

} // namespace
} // namespace marlow::test
