// The boot sequence over the in-process link, where the exact reads and
// writes of the tool can be inspected.

#include "uartloader/uart_boot_sequence.h"

#include "emulators/in_process_handset.h"
#include "emulators/in_process_uart.h"
#include "support/hang_bound.h"
#include "support/uart_test_support.h"
#include "uartloader/request_codes.h"
#include "uartloader/uart_frames.h"

#include <gtest/gtest.h>

#include <functional>

namespace marlow::uartloader {
namespace {

using emulators::InProcessUartLink;
using emulators::UartEmulatorOptions;
using std::chrono::milliseconds;
using test::RecordingSink;

// Plays the boot ROM part correctly (ASIC ID, boot indication, 2nd boot),
// then `after`.
void BootThen(InProcessUartLink& l, std::size_t secondBootSize,
              const std::function<void(InProcessUartLink&)>& after) {
    l.DeviceSend(BuildAsicIdBlock(0));
    std::vector<std::uint8_t> taken(4 + 4 + secondBootSize);
    if (l.DeviceReceive(taken, marlow::test::kStuckAfter) == LinkStatus::Ok)
        after(l);
}

void SendWords(InProcessUartLink& l, std::initializer_list<std::uint32_t> words) {
    for (std::uint32_t w : words)
        l.DeviceSend(WordBytes(w));
}

class BootSequence : public ::testing::Test {
protected:
    BootSequence() : port(handset.link.MakeHostEnd("COM4")) {
        test::WriteRoleFiles(files);
        inputs = ChooseRunInputs(test::SeparateWriteSettings(files), StmList{}, false, false);
    }
    // Plays the boot ROM part, then one message of `code` holding `text`,
    // then a done message "end" (with a byte after its NUL).
    void PlayMessage(std::uint32_t code, std::vector<std::uint8_t> text) {
        handset.Play([this, code, text](InProcessUartLink& l) {
            BootThen(l, files.contents[0].size(), [&](InProcessUartLink& d) {
                SendWords(d, {code, static_cast<std::uint32_t>(text.size())});
                d.DeviceSend(text);
                SendWords(d, {REQ_DONE_MESSAGE, 6});
                d.DeviceSend(std::vector<std::uint8_t>{'e', 'n', 'd', 0, 'z', 'z'});
            });
        });
    }

    Verdict RunSequence() {
        EXPECT_TRUE(port->Open(kLoaderLineSettings).Ok());
        UartRunContext run(*port, sink, totalWrite, inputs, timeouts);
        run.disconnect = [this] { port->Close(); };
        const RunFinished finished = UartBootSequence(run);
        handset.Join();
        return finished.verdict;
    }

    std::string LastLogLines(std::size_t count) const {
        std::vector<std::string> lines;
        for (const LoaderEvent& e : sink.Events())
            if (const auto* a = std::get_if<LogAppended>(&e))
                lines.push_back(a->text);
        std::string text;
        for (std::size_t i = lines.size() - std::min(count, lines.size()); i < lines.size(); ++i)
            text += lines[i];
        return text;
    }

    test::RoleFiles files;
    RunInputs inputs;
    emulators::test::InProcessHandset handset;
    std::unique_ptr<UartTransport> port;
    RecordingSink sink;
    std::atomic<bool> totalWrite{false};
    UartTimeouts timeouts;
};

class AsicIdAt : public BootSequence, public ::testing::WithParamInterface<std::size_t> {};

// The boot indication follows exactly the ASIC ID block; each reply is
// asked for with its own time-out.
TEST_P(AsicIdAt, ConsumesExactlyTheAsicIdBlockAndGivesEachReadItsOwnTimeOut) {
    UartEmulatorOptions options;
    options.asicPosition = GetParam();
    handset.Emulate({options});
    EXPECT_EQ(RunSequence(), Verdict::Passed);
    const auto writes = handset.link.HostWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].bytes, (std::vector<std::uint8_t>{0x02, 0x00, 0x03, 0xF0}));
    EXPECT_EQ(writes[0].consumedBefore, 20 + GetParam() + 45);

    const auto reads = handset.link.HostReads();
    ASSERT_GE(reads.size(), 3u);
    EXPECT_EQ(reads[0].count, 20u);
    EXPECT_EQ(reads[0].timeout, milliseconds(60000));
    EXPECT_EQ(reads[1].count, GetParam() + 45);
    EXPECT_EQ(reads[1].timeout, milliseconds(100));
    EXPECT_EQ(reads[2].count, 4u);
    EXPECT_EQ(reads[2].timeout, milliseconds(4000)); // the first request code

    // The flasher's size echo is the only 500 ms read; every read that is
    // not a request code, nor the first, waits 100 ms.
    const auto echo = std::count_if(reads.begin(), reads.end(),
                                    [](const auto& r) { return r.timeout == milliseconds(500); });
    EXPECT_EQ(echo, 1);
    const auto requests = std::count_if(
        reads.begin(), reads.end(), [](const auto& r) { return r.timeout == milliseconds(4000); });
    EXPECT_EQ(static_cast<std::size_t>(requests), emulators::DefaultUartScript().size());
    for (const auto& r : reads)
        EXPECT_TRUE(r.timeout == milliseconds(60000) || r.timeout == milliseconds(4000) ||
                    r.timeout == milliseconds(500) || r.timeout == milliseconds(100));
}

INSTANTIATE_TEST_SUITE_P(Positions, AsicIdAt, ::testing::Values(0u, 7u, 12u));

TEST_F(BootSequence, AMissingRestOfTheAsicIdIsNoAsicId) {
    handset.Play([](InProcessUartLink& l) {
        std::vector<std::uint8_t> block = BuildAsicIdBlock(0);
        block.pop_back();
        l.DeviceSend(block);
    });
    EXPECT_EQ(RunSequence(), Verdict::Failed);
    EXPECT_EQ(LastLogLines(1), "\r\nFailed to find ASIC ID.\r\n");
    EXPECT_TRUE(handset.link.HostWrites().empty());
}

TEST_F(BootSequence, AFullBufferTextWithoutNulEndsAtItsLength) {
    PlayMessage(REQ_TEXT_MESSAGE, std::vector<std::uint8_t>(1024, 'A'));
    EXPECT_EQ(RunSequence(), Verdict::Passed);
    EXPECT_EQ(LastLogLines(3), "### " + std::string(1024, 'A') + "\r\n$$$ end\r\n\r\n");
}

} // namespace
} // namespace marlow::uartloader
