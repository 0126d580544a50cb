// The pipe's rules over a scripted transport: the zero-length packet after
// whole 64-byte packets, thirty open attempts with their pauses, a stop
// that is never mistaken for a device error, and an idempotent close.

#include "scripted_transport.h"
#include "usb/usb_pipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <future>

namespace marlow::usb {
namespace {

using std::chrono::milliseconds;
using test::ScriptedTransport;

struct PipeUnderTest {
    explicit PipeUnderTest(OpenRetryPolicy retry = {}) {
        auto owned = std::make_unique<ScriptedTransport>();
        transport = owned.get();
        pipe = std::make_unique<CUsbPipe>(std::move(owned), std::move(retry));
    }
    ScriptedTransport* transport;
    std::unique_ptr<CUsbPipe> pipe;
};

// --- zero-length packet rule ------------------------------------------------

// Whole 64-byte packets are followed by one zero-length packet; a write that
// ends mid-packet (a one-byte command too) goes out alone. A failed transfer
// fails the write, and nothing follows it.
TEST(UsbPipeWrite, EachWriteIsOneTransferPlusTheZeroLengthPacketRule) {
    using enum TransferStatus;
    const struct {
        std::size_t count;
        std::deque<TransferStatus> results; // default Ok
        bool ok;
        std::vector<std::size_t> sent;
    } rows[] = {
        {1, {}, true, {1}},
        {9, {}, true, {9}},
        {13, {}, true, {13}},
        {63, {}, true, {63}},
        {65, {}, true, {65}},
        {8205, {}, true, {8205}},
        {64, {}, true, {64, 0}},
        {128, {}, true, {128, 0}},
        {8192, {}, true, {8192, 0}},
        {64, {Failed}, false, {64}},
        {128, {Ok, Disconnected}, false, {128, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.count);
        PipeUnderTest t;
        t.transport->writeResults = row.results;
        EXPECT_EQ(t.pipe->WritePipe(std::vector<std::uint8_t>(row.count, 0x5a)), row.ok);
        std::vector<std::size_t> sent;
        for (const auto& write : t.transport->writes)
            sent.push_back(write.size());
        EXPECT_EQ(sent, row.sent);
    }
}

// --- open attempts ------------------------------------------------------------

// Thirty attempts by default, each failed one followed by a one-second
// pause; the caller may choose both.
TEST(UsbPipeOpen, TriesUntilAnAttemptSucceedsPausingAfterEachFailure) {
    const struct {
        int failures;
        int attempts; // 0: the default
        milliseconds pause;
        bool opens;
        int tried;
    } rows[] = {
        {1000, 0, milliseconds(1000), false, 30},
        {2, 0, milliseconds(1000), true, 3},
        {1000, 3, milliseconds(250), false, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tried);
        std::vector<milliseconds> pauses; // counted instead of waited out
        OpenRetryPolicy policy;
        policy.wait = [&pauses](milliseconds pause, StopRequest& stop) {
            pauses.push_back(pause);
            return !stop.IsRaised();
        };
        if (row.attempts != 0) {
            policy.attempts = row.attempts;
            policy.pause = row.pause;
        }
        PipeUnderTest t(policy);
        t.transport->openFailuresLeft = row.failures;
        const Status opened = t.pipe->OpenPipe();
        const std::string error = opened ? "" : opened.Error();
        EXPECT_EQ(static_cast<bool>(opened), row.opens);
        EXPECT_EQ(t.pipe->IsOpen(), row.opens);
        EXPECT_EQ(t.transport->openAttempts, row.tried);
        const int failed = std::min(row.failures, row.tried);
        EXPECT_EQ(pauses, std::vector<milliseconds>(failed, row.pause));
        EXPECT_EQ(error, row.opens ? "" : "device busy");
    }
}

TEST(UsbPipeOpen, AStopDuringAPauseEndsTheAttemptsAtOnce) {
    OpenRetryPolicy policy;
    policy.pause = std::chrono::hours(1); // only a stop can end this pause
    PipeUnderTest t(policy);
    t.transport->openFailuresLeft = 1000;
    auto opening = std::async(std::launch::async, [&] { return t.pipe->OpenPipe(); });
    t.transport->WaitForOpenAttempts(1);
    t.pipe->RequestStop();
    EXPECT_EQ(opening.get().Error(), "stopped before the device opened");
    EXPECT_EQ(t.transport->openAttempts, 1);
}

// --- close --------------------------------------------------------------------

// Closing a pipe that never opened touches nothing; closing twice closes once.
TEST(UsbPipeClose, ClosingTwiceClosesTheDeviceOnceAndAlwaysSucceeds) {
    PipeUnderTest t;
    EXPECT_TRUE(t.pipe->ClosePipe());
    EXPECT_EQ(t.transport->closeCalls, 0);
    ASSERT_TRUE(t.pipe->OpenPipe());
    EXPECT_TRUE(t.pipe->ClosePipe());
    EXPECT_TRUE(t.pipe->ClosePipe());
    EXPECT_EQ(t.transport->closeCalls, 1);
    EXPECT_FALSE(t.pipe->IsOpen());
}

// --- reply bytes and stop requests -------------------------------------------

// A device failure or disappearance is a failure and leaves the buffer alone.
TEST(UsbPipeRead, AReplyByteIsHandedOverOrTheReadFails) {
    using enum TransferStatus;
    for (const TransferStatus status : {Ok, Failed, Disconnected}) {
        SCOPED_TRACE(static_cast<int>(status));
        PipeUnderTest t;
        t.transport->reads = {{status, 0x99}};
        std::uint8_t reply = 0x00;
        EXPECT_EQ(t.pipe->ReadReplyByte(reply), status == Ok ? PipeRead::Ok : PipeRead::Failed);
        EXPECT_EQ(reply, status == Ok ? 0x99 : 0x00);
    }
}

// A transport that reports a torn-down transfer as a failure (as a device
// whose handle is closed under it does), with the stop arriving meanwhile.
class FailsWhileStopping : public ScriptedTransport {
public:
    std::function<void()> duringRead;
    TransferStatus ReadByte(std::uint8_t&) override {
        duringRead();
        return TransferStatus::Failed;
    }
};

TEST(UsbPipeRead, AFailureCausedByAStopCountsAsStopped) {
    auto owned = std::make_unique<FailsWhileStopping>();
    FailsWhileStopping* transport = owned.get();
    CUsbPipe pipe(std::move(owned));
    transport->duringRead = [&] { pipe.RequestStop(); };
    std::uint8_t reply = 0;
    EXPECT_EQ(pipe.ReadReplyByte(reply), PipeRead::Stopped);
}

// A stop raised beforehand keeps the device untouched until it is cleared.
TEST(UsbPipeRead, AStopRequestedBeforehandTouchesNothingUntilCleared) {
    PipeUnderTest t;
    t.transport->reads = {{TransferStatus::Ok, 0x05}};
    t.pipe->RequestStop();
    EXPECT_FALSE(t.pipe->OpenPipe());
    EXPECT_EQ(t.transport->openAttempts, 0);
    std::uint8_t reply = 0;
    EXPECT_EQ(t.pipe->ReadReplyByte(reply), PipeRead::Stopped);
    EXPECT_EQ(t.transport->reads.size(), 1u);
    t.pipe->ClearStopRequest();
    EXPECT_FALSE(t.pipe->StopRequested());
    EXPECT_EQ(t.transport->clearInterruptCalls, 1);
    EXPECT_EQ(t.pipe->ReadReplyByte(reply), PipeRead::Ok);
    EXPECT_EQ(reply, 0x05);
}

TEST(UsbPipeRead, PauseUnlessStoppedEndsAtAStop) {
    PipeUnderTest t;
    auto pausing = std::async(std::launch::async,
                              [&] { return t.pipe->PauseUnlessStopped(std::chrono::hours(1)); });
    t.pipe->RequestStop();
    EXPECT_FALSE(pausing.get());
}

} // namespace
} // namespace marlow::usb
