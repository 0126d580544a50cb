#include "usb/usb_pipe.h"

#include <algorithm>
#include <utility>

namespace marlow::usb {

void StopRequest::Raise() {
    {
        std::lock_guard lock(mutex_);
        raised_.store(true);
    }
    wake_.notify_all();
}

void StopRequest::Clear() {
    std::lock_guard lock(mutex_);
    raised_.store(false);
}

bool StopRequest::PauseUnlessRaised(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, pause, [this] { return raised_.load(); });
}

CUsbPipe::CUsbPipe(std::unique_ptr<UsbTransport> transport, OpenRetryPolicy retry)
    : transport_(std::move(transport)), retry_(std::move(retry)) {}

Status CUsbPipe::OpenPipe() {
    Status last = Failure{};
    for (int attempt = 0; attempt < retry_.attempts; ++attempt) {
        if (stop_.IsRaised())
            break;
        last = transport_->Open();
        if (last)
            return last;
        if (!WaitBeforeNextAttempt())
            break;
    }
    return stop_.IsRaised() ? Failure{"stopped before the device opened"} : last;
}

bool CUsbPipe::WaitBeforeNextAttempt() {
    if (retry_.wait)
        return retry_.wait(retry_.pause, stop_);
    return stop_.PauseUnlessRaised(retry_.pause);
}

bool CUsbPipe::ClosePipe() {
    if (transport_->IsOpen())
        transport_->Close();
    return true;
}

bool CUsbPipe::IsOpen() const {
    return transport_->IsOpen();
}

bool CUsbPipe::WritePipe(std::span<const std::uint8_t> packet) {
    if (Noted(transport_->Write(packet)) != TransferStatus::Ok)
        return false;
    if (!NeedsZeroLengthPacket(packet.size()))
        return true;
    return Noted(transport_->Write({})) == TransferStatus::Ok;
}

std::size_t CUsbPipe::WritePipeEach(std::span<const std::span<const std::uint8_t>> packets) {
    std::size_t done = 0;
    while (done < packets.size()) {
        // Up to and with the next packet that a zero-length packet follows.
        std::size_t end = done;
        while (end < packets.size() && !NeedsZeroLengthPacket(packets[end].size()))
            ++end;
        const bool zeroLengthDue = end < packets.size();
        std::size_t sent = 0;
        const TransferStatus status = Noted(transport_->WriteEach(
            packets.subspan(done, end - done + (zeroLengthDue ? 1 : 0)), sent));
        if (status != TransferStatus::Ok)
            return done + std::min(sent, end - done);
        done = end;
        if (zeroLengthDue) {
            if (Noted(transport_->Write({})) != TransferStatus::Ok)
                return done;
            ++done;
        }
    }
    return done;
}

void CUsbPipe::NoteCause(StopCause cause) {
    StopCause none = StopCause::None;
    cause_.compare_exchange_strong(none, cause);
}

// A device that has gone is the run's cause of ending, whichever way the
// failed transfer is reported afterwards.
TransferStatus CUsbPipe::Noted(TransferStatus status) {
    if (status == TransferStatus::Disconnected)
        NoteCause(StopCause::DeviceRemoved);
    return status;
}

PipeRead CUsbPipe::ReadReplyByte(std::uint8_t& reply) {
    if (stop_.IsRaised())
        return PipeRead::Stopped;
    std::uint8_t byte = 0;
    switch (Noted(transport_->ReadByte(byte))) {
    case TransferStatus::Ok:
        reply = byte;
        return PipeRead::Ok;
    case TransferStatus::Stopped:
        return PipeRead::Stopped;
    case TransferStatus::Failed:
    case TransferStatus::Disconnected:
        break;
    }
    // A stop that tore the transfer down is still a stop, not a device error.
    return stop_.IsRaised() ? PipeRead::Stopped : PipeRead::Failed;
}

void CUsbPipe::RequestStop(StopCause cause) {
    NoteCause(cause);
    stop_.Raise();
    transport_->Interrupt();
}

void CUsbPipe::ClearStopRequest() {
    stop_.Clear();
    cause_.store(StopCause::None);
    transport_->ClearInterrupt();
}

} // namespace marlow::usb
