// The pipe's rules over a scripted transport: the zero-length packet after
// whole 64-byte packets, thirty open attempts with their pauses, a stop
// that is never mistaken for a device error, and an idempotent close.

#include "scripted_transport.h"
#include "usb/usb_pipe.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace marlow::usb {
namespace {

using std::chrono::milliseconds;
using test::ScriptedTransport;

std::vector<std::uint8_t> Bytes(std::size_t count) {
    return std::vector<std::uint8_t>(count, 0x5a);
}

struct PipeUnderTest {
    explicit PipeUnderTest(OpenRetryPolicy retry = {}) {
        auto owned = std::make_unique<ScriptedTransport>();
        transport = owned.get();
        pipe = std::make_unique<CUsbPipe>(std::move(owned), std::move(retry));
    }
    ScriptedTransport* transport;
    std::unique_ptr<CUsbPipe> pipe;
};

// Counts pauses instead of waiting them out.
struct PauseLog {
    std::vector<milliseconds> pauses;
    OpenRetryPolicy Policy() {
        OpenRetryPolicy policy;
        policy.wait = [this](milliseconds pause, StopRequest& stop) {
            pauses.push_back(pause);
            return !stop.IsRaised();
        };
        return policy;
    }
};

// --- zero-length packet rule ------------------------------------------------

TEST(UsbPipeWrite, OneByteCommandGoesOutAloneWithoutZeroLengthPacket) {
    PipeUnderTest t;
    EXPECT_TRUE(t.pipe->WritePipe(Bytes(1)));
    ASSERT_EQ(t.transport->writes.size(), 1u);
    EXPECT_EQ(t.transport->writes[0].size(), 1u);
}

TEST(UsbPipeWrite, WholePacketsAreFollowedByOneZeroLengthPacket) {
    for (const std::size_t count : {64u, 128u, 13u + 51u, 13u + 8179u}) {
        PipeUnderTest t;
        EXPECT_TRUE(t.pipe->WritePipe(Bytes(count))) << count;
        ASSERT_EQ(t.transport->writes.size(), 2u) << count;
        EXPECT_EQ(t.transport->writes[0].size(), count);
        EXPECT_TRUE(t.transport->writes[1].empty()) << count;
    }
}

TEST(UsbPipeWrite, PacketsEndingMidPacketGetNoZeroLengthPacket) {
    for (const std::size_t count : {9u, 13u, 63u, 65u, 8205u}) {
        PipeUnderTest t;
        EXPECT_TRUE(t.pipe->WritePipe(Bytes(count))) << count;
        EXPECT_EQ(t.transport->writes.size(), 1u) << count;
    }
}

TEST(UsbPipeWrite, ZeroLengthRuleIsAMultipleOfSixtyFour) {
    EXPECT_TRUE(NeedsZeroLengthPacket(64));
    EXPECT_TRUE(NeedsZeroLengthPacket(8192));
    EXPECT_FALSE(NeedsZeroLengthPacket(1));
    EXPECT_FALSE(NeedsZeroLengthPacket(8205));
}

TEST(UsbPipeWrite, AFailedTransferIsReportedAndNoZeroLengthPacketFollows) {
    PipeUnderTest t;
    t.transport->writeResults = {TransferStatus::Failed};
    EXPECT_FALSE(t.pipe->WritePipe(Bytes(64)));
    EXPECT_EQ(t.transport->writes.size(), 1u);
}

TEST(UsbPipeWrite, AFailedZeroLengthPacketFailsTheWrite) {
    PipeUnderTest t;
    t.transport->writeResults = {TransferStatus::Ok, TransferStatus::Disconnected};
    EXPECT_FALSE(t.pipe->WritePipe(Bytes(128)));
    EXPECT_EQ(t.transport->writes.size(), 2u);
}

// --- open attempts ------------------------------------------------------------

TEST(UsbPipeOpen, ADeviceThatNeverOpensIsTriedThirtyTimesEachFollowedByAOneSecondPause) {
    PauseLog log;
    PipeUnderTest t(log.Policy());
    t.transport->openFailuresLeft = 1000;
    const Status opened = t.pipe->OpenPipe();
    EXPECT_FALSE(opened);
    EXPECT_EQ(t.transport->openAttempts, 30);
    ASSERT_EQ(log.pauses.size(), 30u);
    for (const milliseconds pause : log.pauses)
        EXPECT_EQ(pause, milliseconds(1000));
    EXPECT_EQ(opened.Error(), "device busy");
    EXPECT_FALSE(t.pipe->IsOpen());
}

TEST(UsbPipeOpen, OpensAsSoonAsAnAttemptSucceeds) {
    PauseLog log;
    PipeUnderTest t(log.Policy());
    t.transport->openFailuresLeft = 2;
    EXPECT_TRUE(t.pipe->OpenPipe());
    EXPECT_EQ(t.transport->openAttempts, 3);
    EXPECT_EQ(log.pauses.size(), 2u);
    EXPECT_TRUE(t.pipe->IsOpen());
}

TEST(UsbPipeOpen, AttemptCountAndPauseAreTheCallersToChoose) {
    PauseLog log;
    OpenRetryPolicy policy = log.Policy();
    policy.attempts = 3;
    policy.pause = milliseconds(250);
    PipeUnderTest t(policy);
    t.transport->openFailuresLeft = 1000;
    EXPECT_FALSE(t.pipe->OpenPipe());
    EXPECT_EQ(t.transport->openAttempts, 3);
    EXPECT_EQ(log.pauses, std::vector<milliseconds>(3, milliseconds(250)));
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

TEST(UsbPipeOpen, AStopRequestedBeforehandTriesNothing) {
    PauseLog log;
    PipeUnderTest t(log.Policy());
    t.pipe->RequestStop();
    EXPECT_FALSE(t.pipe->OpenPipe());
    EXPECT_EQ(t.transport->openAttempts, 0);
}

// --- close --------------------------------------------------------------------

TEST(UsbPipeClose, ClosingTwiceClosesTheDeviceOnceAndAlwaysSucceeds) {
    PipeUnderTest t;
    ASSERT_TRUE(t.pipe->OpenPipe());
    EXPECT_TRUE(t.pipe->ClosePipe());
    EXPECT_TRUE(t.pipe->ClosePipe());
    EXPECT_EQ(t.transport->closeCalls, 1);
    EXPECT_FALSE(t.pipe->IsOpen());
}

TEST(UsbPipeClose, ClosingAPipeThatNeverOpenedTouchesNothing) {
    PipeUnderTest t;
    EXPECT_TRUE(t.pipe->ClosePipe());
    EXPECT_EQ(t.transport->closeCalls, 0);
}

// --- reply bytes and stop requests -------------------------------------------

TEST(UsbPipeRead, AReplyByteIsHandedOver) {
    PipeUnderTest t;
    t.transport->reads = {{TransferStatus::Ok, 0x01}};
    std::uint8_t reply = 0;
    EXPECT_EQ(t.pipe->ReadReplyByte(reply), PipeRead::Ok);
    EXPECT_EQ(reply, 0x01);
}

TEST(UsbPipeRead, ADeviceFailureOrDisappearanceIsAFailureAndLeavesTheBufferAlone) {
    for (const TransferStatus status : {TransferStatus::Failed, TransferStatus::Disconnected}) {
        PipeUnderTest t;
        t.transport->reads = {{status, 0x99}};
        std::uint8_t reply = 0x00;
        EXPECT_EQ(t.pipe->ReadReplyByte(reply), PipeRead::Failed);
        EXPECT_EQ(reply, 0x00);
    }
}

TEST(UsbPipeRead, AStopEndsABlockedReadAsStoppedNotAsAFailure) {
    PipeUnderTest t;
    std::uint8_t reply = 0;
    auto reading = std::async(std::launch::async, [&] { return t.pipe->ReadReplyByte(reply); });
    t.transport->WaitUntilReading();
    t.pipe->RequestStop();
    EXPECT_EQ(reading.get(), PipeRead::Stopped);
    EXPECT_TRUE(t.pipe->StopRequested());
    EXPECT_EQ(t.transport->interruptCalls, 1);
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

TEST(UsbPipeRead, AStopRequestedBeforeTheReadDoesNotTouchTheDevice) {
    PipeUnderTest t;
    t.transport->reads = {{TransferStatus::Ok, 0x01}};
    t.pipe->RequestStop();
    std::uint8_t reply = 0;
    EXPECT_EQ(t.pipe->ReadReplyByte(reply), PipeRead::Stopped);
    EXPECT_EQ(t.transport->reads.size(), 1u);
}

TEST(UsbPipeRead, ClearingTheStopRequestMakesThePipeUsableAgain) {
    PipeUnderTest t;
    t.pipe->RequestStop();
    t.pipe->ClearStopRequest();
    EXPECT_FALSE(t.pipe->StopRequested());
    EXPECT_EQ(t.transport->clearInterruptCalls, 1);
    t.transport->reads = {{TransferStatus::Ok, 0x05}};
    std::uint8_t reply = 0;
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

// --- flags and identity ---------------------------------------------------------

TEST(UsbPipeFlags, StartClearAndCarryTheDevicesIdentity) {
    PipeUnderTest t;
    EXPECT_FALSE(t.pipe->Completed());
    EXPECT_FALSE(t.pipe->ThreadRunning());
    EXPECT_FALSE(t.pipe->StopRequested());
    t.pipe->SetCompleted(true);
    t.pipe->SetThreadRunning(true);
    EXPECT_TRUE(t.pipe->Completed());
    EXPECT_TRUE(t.pipe->ThreadRunning());
    EXPECT_EQ(t.pipe->Description(), "Scripted boot loader");
    EXPECT_EQ(t.pipe->DevicePath(), "test:7");
}

TEST(UsbPipeFlags, DeletingAPipeStopsAndJoinsItsBlockedDownloadThread) {
    PipeUnderTest t;
    PipeRead outcome = PipeRead::Ok;
    t.pipe->AttachDownloadThread(std::thread([&] {
        std::uint8_t reply = 0;
        outcome = t.pipe->ReadReplyByte(reply);
    }));
    t.transport->WaitUntilReading();
    t.pipe.reset();
    EXPECT_EQ(outcome, PipeRead::Stopped);
}

} // namespace
} // namespace marlow::usb
