// The stand-in library's side of the modem link on a pseudo-terminal whose
// other end the test plays: a silent modem is given up on by the line's and
// the host's own time-outs, and answers to earlier requests are passed over.

#include "ifwd/modem_host.h"
#include "modemlink/modem_serial_line.h"
#include "support/hang_bound.h"
#include "support/pseudo_terminal.h"

#include <gtest/gtest.h>

namespace marlow::modemlink {
namespace {

using namespace std::chrono_literals;
using test::Unstuck;

class ModemLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(modem.Ok());
        Result<std::unique_ptr<SerialLine>> opened =
            SerialLine::OpenPort(modem.SlaveName(), 115200);
        ASSERT_TRUE(opened) << opened.Error();
        line = std::move(*opened);
        host = std::make_unique<ifwd::ModemHost>(*line,
                                                 ifwd::HostTimeouts{.boot = 20ms, .reply = 20ms});
    }

    // Has the host send aborts, which wait for nothing, until the last
    // sequence number it used is `last`.
    void SendUntilTheLastSequenceIs(std::uint8_t last) {
        for (int sent = 0; sent < 256; ++sent) {
            modem.Forget();
            host->SendAbort();
            FrameDecoder decoder;
            decoder.Feed(std::span(reinterpret_cast<const std::uint8_t*>(modem.Received().data()),
                                   modem.Received().size()));
            const std::optional<Frame> abort = decoder.Next();
            ASSERT_TRUE(abort.has_value());
            if (abort->sequence == last)
                return;
        }
        FAIL() << "the sequence never came round to " << int{last};
    }

    void Answer(const Frame& frame) {
        const std::vector<std::uint8_t> bytes = EncodeFrame(frame);
        modem.Send({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }

    test::PseudoTerminal modem;
    std::unique_ptr<SerialLine> line;
    std::unique_ptr<ifwd::ModemHost> host;
};

TEST_F(ModemLineTest, ASilentModemEndsTheWaitsWithTheirOwnTimeOut) {
    std::vector<std::uint8_t> got;
    EXPECT_EQ(Unstuck([&] { return line->Read(got, 20ms); }, [&] { line->Interrupt(); }),
              LineStatus::TimedOut);
    line->ClearInterrupt();
    const ifwd::HostResult booted = Unstuck(
        [&] {
            return host->Boot({1, 2, 3, 4, 5, 6}, "modem.fls");
        },
        [&] { line->Interrupt(); });
    EXPECT_EQ(booted.kind, ifwd::HostResult::Kind::Failed);
    EXPECT_EQ(booted.reason, "No answer from the modem (Boot)");
}

// An answer to an earlier request already waiting on the line, the sequence
// numbers in the middle of their range and across their wrap from 255 to 0.
TEST_F(ModemLineTest, AnAnswerToAnEarlierRequestIsPassedOver) {
    for (const std::uint8_t last : {std::uint8_t{99}, std::uint8_t{255}}) {
        SendUntilTheLastSequenceIs(last);
        const std::uint8_t next = static_cast<std::uint8_t>(last + 1);
        Answer({FrameType::Error, last, EncodeText("late answer")});
        Answer({FrameType::Ack, next, {}});
        const ifwd::HostResult ended =
            Unstuck([&] { return host->EndOfProcess(); }, [&] { line->Interrupt(); });
        EXPECT_TRUE(ended.ok()) << "request " << int{next} << ": " << ended.reason;
    }
}

} // namespace
} // namespace marlow::modemlink
