// The handset emulator's own checks, its script language and its pacing.

#include "emulators/uart_handset_emulator.h"
#include "emulators/uart_line_pacer.h"
#include "emulators/uart_script.h"

#include "common/little_endian.h"
#include "emulators/in_process_handset.h"
#include "uartloader/request_codes.h"
#include "uartloader/uart_frames.h"

#include <gtest/gtest.h>

namespace marlow::emulators {
namespace {

using namespace marlow::uartloader;
using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

TEST(UartScriptText, ReadsEveryKindOfStep) {
    const auto script = ParseUartScript(
        "ext-mem-init, flasher,text:Hi there,arrow:go,ping,flash:adl,flash:0xA0400007,"
        "code:0xA0300005,long-text:2000,silence,vanish,done:End");
    ASSERT_TRUE(script) << script.Error();
    std::string described;
    for (const UartScriptStep& step : *script)
        described += DescribeUartStep(step) + ",";
    EXPECT_EQ(described, "ext-mem-init,flasher,text:Hi there,arrow:go,ping,flash:adl,"
                         "flash:ext-mem-init,code:0xA0300005,long-text:2000,silence,vanish,"
                         "done:End,");
}

TEST(UartScriptText, RefusesWhatItDoesNotKnow) {
    EXPECT_EQ(ParseUartScript("ping,jump").Error(), "unknown step 'jump'");
    EXPECT_FALSE(ParseUartScript("flash:0xA0300000"));
    EXPECT_EQ(ParseUartScript("long-text:lots").Error(), "long-text: wants a length, not 'lots'");
}

TEST(UartLinePacer, KeepsElevenBitTimesPerByteFromTheFirstArrival) {
    using Clock = UartLinePacer::Clock;
    Clock::time_point now{};
    std::vector<Clock::time_point> sleeps;
    UartLinePacer pacer(
        115200, [&] { return now; },
        [&](Clock::time_point until) {
            sleeps.push_back(until);
            now = std::max(now, until);
        });
    EXPECT_EQ(pacer.ByteTime(115200), std::chrono::seconds(11));

    const Clock::time_point arrival = now + milliseconds(5);
    pacer.AfterReceive(2052, arrival);
    pacer.BeforeSend(4);
    ASSERT_EQ(sleeps.size(), 2u);
    EXPECT_EQ(sleeps[0], arrival + pacer.ByteTime(2052));
    EXPECT_EQ(sleeps[1], sleeps[0] + pacer.ByteTime(4));

    UartLinePacer off(
        0, [&] { return now; }, [&](Clock::time_point) { FAIL(); });
    off.AfterReceive(100, now);
    off.BeforeSend(100);
}

// The test plays the tool against the emulator on the in-process link.
class EmulatorChecks : public ::testing::Test {
protected:
    ~EmulatorChecks() override { host->Close(); }
    void Start(const std::string& script) {
        UartEmulatorOptions options;
        options.script = *ParseUartScript(script);
        options.replyTimeout = milliseconds(2000);
        handset.Emulate({options});
        ASSERT_TRUE(host->Open(kLoaderLineSettings).Ok());
    }
    Bytes Take(std::size_t count) {
        Bytes bytes(count);
        EXPECT_EQ(host->ReceiveData(bytes, milliseconds(5000)), LinkStatus::Ok);
        return bytes;
    }
    std::uint32_t TakeWord() { return LoadLe32(Take(4)); }
    void Put(std::span<const std::uint8_t> bytes) {
        EXPECT_EQ(host->TransmitData(bytes), LinkStatus::Ok);
    }
    void PutWord(std::uint32_t w) { Put(WordBytes(w)); }
    void Boot(std::uint32_t indication = BOOT_INDICATION) {
        Take(65);
        PutWord(indication);
        PutWord(2);
        Put(Bytes{0xAB, 0xCD});
    }
    // Takes a flash request for `code` and its word, offers `header`; gives its acknowledgement.
    std::uint32_t OfferHeader(std::uint32_t code, std::span<const std::uint8_t> header) {
        EXPECT_EQ(TakeWord(), code);
        TakeWord();
        Put(header);
        return TakeWord();
    }
    UartEmulatorReport Finish() {
        host->Close();
        handset.Join();
        return handset.reports.at(0);
    }

    test::InProcessHandset handset;
    std::unique_ptr<UartTransport> host = handset.link.MakeHostEnd();
};

TEST_F(EmulatorChecks, AWrongBootIndicationIsAProblem) {
    Start("done:x");
    Boot(0xF0030003);
    const UartEmulatorReport r = Finish();
    EXPECT_EQ(r.problems, std::vector<std::string>{"boot indication 0xF0030003 instead of "
                                                   "0xF0030002"});
    EXPECT_FALSE(r.Passed());
}

TEST_F(EmulatorChecks, APartitionHeaderWithAWrongCrcIsRefused) {
    Start("flash:xloader,done:x");
    Boot();
    auto header = BuildPartitionHeader(10, 0, 0);
    header[15] ^= 0xFF;
    EXPECT_EQ(OfferHeader(REQ_FLASH_XLOADER, header), 1u);
    const UartEmulatorReport r = Finish();
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_NE(r.problems[0].find("REQ_FLASH_XLOADER header CRC"), std::string::npos);
}

TEST_F(EmulatorChecks, AFrameWithAWrongCrcOrFillIsAProblem) {
    Start("flash:adl,flash:normal,done:x");
    Boot();
    EXPECT_EQ(OfferHeader(REQ_FLASH_ADL, BuildPartitionHeader(10, 0, 0)), 0u);
    Bytes frame(2052, 0xFF);
    frame[20] = 0x00; // data beyond the 10 bytes: not the 0xFF fill
    SealParityFrame(frame);
    Put(frame);
    EXPECT_EQ(TakeWord(), 0u);

    EXPECT_EQ(OfferHeader(REQ_FLASH_NORMAL, BuildPartitionHeader(10, 0, 0)), 0u);
    Bytes damaged(2052, 0xFF);
    SealParityFrame(damaged);
    damaged[0] = 0x00;
    Put(damaged);
    EXPECT_EQ(TakeWord(), 1u);

    const UartEmulatorReport r = Finish();
    ASSERT_EQ(r.problems.size(), 2u);
    EXPECT_EQ(r.problems[0], "REQ_FLASH_ADL frame 1 is not filled with 0xFF after its data");
    EXPECT_EQ(r.problems[1], "REQ_FLASH_NORMAL frame 1 CRC is wrong");
}

TEST_F(EmulatorChecks, AWrongPingReplyIsAProblem) {
    Start("ping,done:x");
    Boot();
    EXPECT_EQ(TakeWord(), REQ_PING);
    Put(Bytes{0x02});
    const UartEmulatorReport r = Finish();
    EXPECT_EQ(r.pingReplies, Bytes{0x02});
    EXPECT_EQ(r.problems, std::vector<std::string>{"ping answered with 0x02"});
}

} // namespace
} // namespace marlow::emulators
