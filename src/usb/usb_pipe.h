#pragma once
// CUsbPipe: the host's end of one PDA boot loader connection. It moves
// packets and reply bytes over a UsbTransport and keeps the two flags that
// the download and its owner share: the stop request and the completed
// flag. Packets are built elsewhere (the protocol); the pipe only adds the
// zero-length packet that the boot loader needs after a transfer of whole
// 64-byte packets. The download's thread is its run's, not the pipe's.

#include "usb/usb_transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace marlow::usb {

// The boot loader's bulk endpoints use 64-byte packets: a transfer that ends
// on a packet boundary is only complete once a zero-length packet follows.
inline constexpr std::size_t kBulkPacketSize = 64;

inline bool NeedsZeroLengthPacket(std::size_t count) {
    return count % kBulkPacketSize == 0;
}

enum class PipeRead {
    Ok,
    Failed,  // the device failed or has gone
    Stopped, // a stop request ended the read: never a device error
};

// Why a run was asked to stop. The first cause since the last clear stands,
// so a run's verdict says what really ended it: a handset pulled out during
// a reply wait is a removal, not an operator's stop, even when the watcher's
// stop request for that removal reaches the run first.
enum class StopCause {
    None,
    EndOfRun,      // the state machine reached its end
    Failure,       // a reply could not be read
    Operator,      // stop, close, Ctrl-C, a signal
    DeviceRemoved, // the handset left the bus
    TimedOut,      // the caller gave up waiting for progress
};

// A stop request that can also cut a pause short. Raise and Clear may come
// from any thread.
class StopRequest {
public:
    void Raise();
    void Clear();
    bool IsRaised() const { return raised_.load(); }
    // Waits up to `pause`; false when the request is (or becomes) raised.
    bool PauseUnlessRaised(std::chrono::milliseconds pause);

private:
    std::atomic<bool> raised_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
};

struct OpenRetryPolicy {
    int attempts = 30;
    std::chrono::milliseconds pause{1000};
    // How one pause is spent; returns false when a stop request ended it.
    // Unset: wait on the pipe's stop request.
    std::function<bool(std::chrono::milliseconds, StopRequest&)> wait;
};

class CUsbPipe {
public:
    explicit CUsbPipe(std::unique_ptr<UsbTransport> transport, OpenRetryPolicy retry = {});
    CUsbPipe(const CUsbPipe&) = delete;
    CUsbPipe& operator=(const CUsbPipe&) = delete;

    // Tries the device up to `attempts` times with a pause after every failed
    // attempt, the last one too. A stop request ends the attempts at once.
    // A failure holds the last attempt's reason.
    Status OpenPipe();
    // Always true; a closed pipe is left alone.
    bool ClosePipe();
    bool IsOpen() const;

    // One transfer of the whole packet, then a zero-length packet when the
    // packet ends on a 64-byte boundary. False when either did not go out.
    bool WritePipe(std::span<const std::uint8_t> packet);
    // WritePipe for several packets in order, handed to the transport
    // together where it can take them so: returns how many went out whole,
    // all of them unless a transfer failed or a stop came.
    std::size_t WritePipeEach(std::span<const std::span<const std::uint8_t>> packets);
    // Blocks without a time-out until one reply byte, a failure or a stop.
    // `reply` is written only on Ok.
    PipeRead ReadReplyByte(std::uint8_t& reply);

    // From any thread: the download ends at its next step and a blocked read
    // or write returns at once.
    void RequestStop(StopCause cause = StopCause::Operator);
    // Before a new run (and before the unload command after a stop).
    void ClearStopRequest();
    bool StopRequested() const { return stop_.IsRaised(); }
    // The first cause noted since the last clear: a stop request's, or
    // DeviceRemoved when a transfer found the device gone.
    StopCause Cause() const { return cause_.load(); }
    // Waits unless a stop request comes first; false when stopped.
    bool PauseUnlessStopped(std::chrono::milliseconds pause) {
        return stop_.PauseUnlessRaised(pause);
    }

    // Set once the boot loader has been told to finish or to hand over to the
    // phone; a completed device leaving the bus is the expected re-enumeration.
    void SetCompleted(bool completed) { completed_.store(completed); }
    bool Completed() const { return completed_.load(); }

    std::string Description() const { return transport_->Description(); }
    std::string DevicePath() const { return transport_->DevicePath(); }
    std::string UsbPortPath() const { return transport_->PortPath(); }
    std::string SerialNumber() const { return transport_->SerialNumber(); }

private:
    bool WaitBeforeNextAttempt();
    void NoteCause(StopCause cause);
    TransferStatus Noted(TransferStatus status);

    std::unique_ptr<UsbTransport> transport_;
    OpenRetryPolicy retry_;
    StopRequest stop_;
    std::atomic<bool> completed_{false};
    std::atomic<StopCause> cause_{StopCause::None};
};

} // namespace marlow::usb
