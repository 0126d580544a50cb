#include "usb/virtual_bus_transport.h"

#include "usb/usb_log.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace marlow::usb {
namespace {

// Replies are a byte or a few; a device that sends more in one go is read
// in pieces of this size.
constexpr std::size_t kReplyReadSize = 4096;

bool HasHungUp(int fd) {
    pollfd probe{fd, POLLRDHUP, 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

TransferStatus StatusOf(SendResult result) {
    switch (result) {
    case SendResult::Sent:
        return TransferStatus::Ok;
    case SendResult::Woken:
        return TransferStatus::Stopped;
    case SendResult::PeerGone:
        return TransferStatus::Disconnected;
    case SendResult::Failed:
        break;
    }
    return TransferStatus::Failed;
}

} // namespace

VirtualBusLink::~VirtualBusLink() {
    socket.Reset();
    if (released)
        released();
}

VirtualBusTransport::VirtualBusTransport(std::shared_ptr<VirtualBusLink> link)
    : link_(std::move(link)) {}

VirtualBusTransport::~VirtualBusTransport() {
    ::shutdown(link_->socket.Get(), SHUT_RDWR);
}

Status VirtualBusTransport::Open() {
    if (HasHungUp(link_->socket.Get())) {
        qCDebug(lcUsb, "%s: the virtual bus peer hung up before the open",
                link_->devicePath.c_str());
        return Failure{"Virtual USB device " + link_->devicePath + " has disconnected"};
    }
    open_.store(true);
    qCDebug(lcUsb, "%s opened (virtual bus)", link_->devicePath.c_str());
    return {};
}

TransferStatus VirtualBusTransport::Write(std::span<const std::uint8_t> packet) {
    if (interrupted_.load())
        return TransferStatus::Stopped;
    if (!open_.load())
        return TransferStatus::Failed;
    const auto header = FrameHeader(static_cast<std::uint32_t>(packet.size()));
    return StatusOf(SendAll(link_->socket.Get(), header, packet, wake_));
}

TransferStatus
VirtualBusTransport::WriteEach(std::span<const std::span<const std::uint8_t>> packets,
                               std::size_t& sent) {
    sent = 0;
    if (interrupted_.load())
        return TransferStatus::Stopped;
    if (!open_.load())
        return TransferStatus::Failed;
    // A batch is a few dozen packets; larger ones go in turns of this many.
    constexpr std::size_t kPerSend = 64;
    std::array<std::array<std::uint8_t, kFrameHeaderSize>, kPerSend> headers{};
    std::array<iovec, 2 * kPerSend> parts{};
    while (sent < packets.size()) {
        const std::size_t count = std::min(packets.size() - sent, kPerSend);
        for (std::size_t i = 0; i < count; ++i) {
            const std::span<const std::uint8_t> packet = packets[sent + i];
            headers[i] = FrameHeader(static_cast<std::uint32_t>(packet.size()));
            parts[2 * i] = iovec{headers[i].data(), headers[i].size()};
            parts[2 * i + 1] = iovec{const_cast<std::uint8_t*>(packet.data()), packet.size()};
        }
        std::size_t sentBytes = 0;
        const SendResult result =
            SendGathered(link_->socket.Get(), std::span(parts).first(2 * count), wake_, sentBytes);
        // The frames that went out whole.
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t frame = kFrameHeaderSize + packets[sent].size();
            if (sentBytes < frame)
                break;
            sentBytes -= frame;
            ++sent;
        }
        if (result != SendResult::Sent)
            return StatusOf(result);
    }
    return TransferStatus::Ok;
}

TransferStatus VirtualBusTransport::ReadByte(std::uint8_t& out) {
    if (interrupted_.load())
        return TransferStatus::Stopped;
    if (!open_.load())
        return TransferStatus::Failed;
    // Zero-length frames from the device carry no byte and are passed over.
    while (nextByte_ >= frame_.size()) {
        nextByte_ = 0;
        switch (link_->received.Next(frame_)) {
        case FrameDecoder::Status::Frame:
            continue;
        case FrameDecoder::Status::Oversized:
            frame_ = {};
            return CutOff("sent a frame of " + std::to_string(link_->received.AnnouncedLength()) +
                          " bytes (at most " + std::to_string(link_->received.MaxFrameLength()) +
                          " allowed)");
        case FrameDecoder::Status::NeedMore:
            break;
        }
        frame_ = {};
        switch (ReceiveMore()) {
        case Fill::Got:
            continue;
        case Fill::Gone:
            return TransferStatus::Disconnected;
        case Fill::Stopped:
            return TransferStatus::Stopped;
        case Fill::Failed:
            return TransferStatus::Failed;
        }
    }
    out = frame_[nextByte_++];
    return TransferStatus::Ok;
}

VirtualBusTransport::Fill VirtualBusTransport::ReceiveMore() {
    const std::span<std::uint8_t> room = link_->received.Space(kReplyReadSize);
    // A reply is read only once the command has gone out: the device has
    // usually not answered yet, so the wait comes first.
    std::size_t count = 0;
    switch (ReceiveSome(link_->socket.Get(), room, true, wake_, count)) {
    case ReceiveResult::Got:
        link_->received.Commit(count);
        return Fill::Got;
    case ReceiveResult::PeerGone:
        return Fill::Gone;
    case ReceiveResult::Woken:
        return Fill::Stopped;
    case ReceiveResult::Failed:
        break;
    }
    return Fill::Failed;
}

TransferStatus VirtualBusTransport::CutOff(const std::string& why) {
    if (link_->problem)
        link_->problem("Virtual USB device " + link_->devicePath + " (" + link_->description +
                       ") " + why + "; disconnected as garbage");
    ::shutdown(link_->socket.Get(), SHUT_RDWR);
    open_.store(false);
    return TransferStatus::Failed;
}

void VirtualBusTransport::Interrupt() {
    interrupted_.store(true);
    wake_.Signal();
}

void VirtualBusTransport::ClearInterrupt() {
    interrupted_.store(false);
    wake_.Clear();
}

} // namespace marlow::usb
