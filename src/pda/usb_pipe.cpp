#include "pda/usb_pipe.h"

#include <utility>

namespace marlow::pda {

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

CUsbPipe::~CUsbPipe() {
    if (!downloadThread_.joinable())
        return;
    RequestStop();
    JoinDownloadThread();
    if (downloadThread_.joinable()) // the thread is deleting its own pipe
        downloadThread_.detach();
}

bool CUsbPipe::OpenPipe(std::string* error) {
    std::string reason;
    for (int attempt = 0; attempt < retry_.attempts; ++attempt) {
        if (stop_.IsRaised())
            break;
        reason.clear();
        if (transport_->Open(&reason))
            return true;
        if (!WaitBeforeNextAttempt())
            break;
    }
    if (error != nullptr)
        *error = stop_.IsRaised() ? "stopped before the device opened" : reason;
    return false;
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
    if (transport_->Write(packet) != TransferStatus::Ok)
        return false;
    if (!NeedsZeroLengthPacket(packet.size()))
        return true;
    return transport_->Write({}) == TransferStatus::Ok;
}

PipeRead CUsbPipe::ReadReplyByte(std::uint8_t& reply) {
    if (stop_.IsRaised())
        return PipeRead::Stopped;
    std::uint8_t byte = 0;
    switch (transport_->ReadByte(byte)) {
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

void CUsbPipe::RequestStop() {
    stop_.Raise();
    transport_->Interrupt();
}

void CUsbPipe::ClearStopRequest() {
    stop_.Clear();
    transport_->ClearInterrupt();
}

void CUsbPipe::AttachDownloadThread(std::thread thread) {
    JoinDownloadThread();
    downloadThread_ = std::move(thread);
}

void CUsbPipe::JoinDownloadThread() {
    if (downloadThread_.joinable() && downloadThread_.get_id() != std::this_thread::get_id())
        downloadThread_.join();
}

} // namespace marlow::pda
