#include "emulators/virtual_bus_device.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace marlow::emulators {

Status VirtualBusDevice::Connect(const std::string& socketPath,
                                 const usb::VirtualDeviceDescription& description) {
    Disconnect();
    Result<usb::UniqueFd> connected = usb::ConnectToSocketPath(socketPath);
    if (!connected)
        return Failure{connected.Error()};
    socket_ = std::move(*connected);
    if (!usb::SetNonBlocking(socket_.Get())) {
        Failure failure{"Cannot use the virtual USB bus on " + socketPath + ": " +
                        std::strerror(errno)};
        socket_.Reset();
        return failure;
    }
    received_ = usb::FrameDecoder(usb::kVirtualBusMaxFrame);
    drained_ = false;
    stop_.Clear();
    left_.store(false);
    connected_.store(true);
    if (!SendReply(usb::DescriptionFrame(description))) {
        Disconnect();
        return Failure{"The virtual USB bus on " + socketPath + " hung up before the description"};
    }
    return {};
}

void VirtualBusDevice::Disconnect() {
    if (!socket_.Valid())
        return;
    left_.store(true);
    connected_.store(false);
    // Shut down, not closed: a Serve on another thread may still hold the
    // descriptor; it sees the end and returns Left.
    ::shutdown(socket_.Get(), SHUT_RDWR);
}

VirtualBusDevice::Receive VirtualBusDevice::ReceiveFrame(std::span<const std::uint8_t>& frame) {
    for (;;) {
        switch (received_.Next(frame)) {
        case usb::FrameDecoder::Status::Frame:
            return Receive::Packet;
        case usb::FrameDecoder::Status::Oversized:
            return Receive::Garbage;
        case usb::FrameDecoder::Status::NeedMore:
            break;
        }
        if (!socket_.Valid() || left_.load())
            return Receive::Left;
        const std::span<std::uint8_t> room = received_.Space(kReadSize);
        std::size_t count = 0;
        switch (usb::ReceiveSome(socket_.Get(), room, drained_, stop_, count)) {
        case usb::ReceiveResult::Got:
            received_.Commit(count);
            drained_ = count < room.size();
            continue;
        case usb::ReceiveResult::Woken:
            return Receive::Stopped;
        case usb::ReceiveResult::PeerGone:
        case usb::ReceiveResult::Failed:
            break;
        }
        connected_.store(false);
        return left_.load() ? Receive::Left : Receive::HostGone;
    }
}

VirtualBusDevice::Receive VirtualBusDevice::ReceivePacket(std::vector<std::uint8_t>& packet) {
    std::span<const std::uint8_t> frame;
    const Receive received = ReceiveFrame(frame);
    packet.assign(frame.begin(), frame.end());
    return received;
}

VirtualBusDevice::Receive VirtualBusDevice::Serve(const PacketHandler& handler) {
    for (;;) {
        std::span<const std::uint8_t> packet;
        const Receive received = ReceiveFrame(packet);
        if (received != Receive::Packet)
            return received;
        handler(packet);
    }
}

bool VirtualBusDevice::SendReply(std::span<const std::uint8_t> bytes) {
    return Send(usb::FrameHeader(static_cast<std::uint32_t>(bytes.size())), bytes);
}

bool VirtualBusDevice::SendRaw(std::span<const std::uint8_t> bytes) {
    return Send(bytes, {});
}

bool VirtualBusDevice::Send(std::span<const std::uint8_t> head,
                            std::span<const std::uint8_t> body) {
    std::lock_guard lock(sendMutex_);
    return connected_.load() &&
           usb::SendAll(socket_.Get(), head, body, stop_) == usb::SendResult::Sent;
}

bool VirtualBusDevice::Wait(std::chrono::milliseconds duration) {
    std::array<pollfd, 2> fds{pollfd{stop_.Fd(), POLLIN, 0}, pollfd{socket_.Get(), POLLRDHUP, 0}};
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return connected_.load();
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0)
            return false; // stopped, or the host hung up
    }
}

void VirtualBusDevice::Stop() {
    stop_.Signal();
}

} // namespace marlow::emulators
