#include "emulators/virtual_bus_device.h"

#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace marlow::emulators {

bool VirtualBusDevice::Connect(const std::string& socketPath, std::string_view description,
                               std::string* error) {
    Disconnect();
    socket_ = pda::ConnectToSocketPath(socketPath, error);
    if (!socket_.Valid() || !pda::SetNonBlocking(socket_.Get())) {
        socket_.Reset();
        return false;
    }
    received_ = pda::FrameDecoder(pda::kVirtualBusMaxFrame);
    stop_.Clear();
    left_.store(false);
    connected_.store(true);
    const auto* text = reinterpret_cast<const std::uint8_t*>(description.data());
    if (!SendReply(std::span(text, description.size()))) {
        if (error != nullptr)
            *error = "The virtual USB bus on " + socketPath + " hung up before the description";
        Disconnect();
        return false;
    }
    return true;
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

VirtualBusDevice::Receive VirtualBusDevice::ReceivePacket(std::vector<std::uint8_t>& packet) {
    std::array<std::uint8_t, 65536> chunk{};
    for (;;) {
        switch (received_.Next(packet)) {
        case pda::FrameDecoder::Status::Frame:
            return Receive::Packet;
        case pda::FrameDecoder::Status::Oversized:
            return Receive::Garbage;
        case pda::FrameDecoder::Status::NeedMore:
            break;
        }
        if (!socket_.Valid() || left_.load())
            return Receive::Left;
        const ssize_t got = ::recv(socket_.Get(), chunk.data(), chunk.size(), 0);
        if (got > 0) {
            received_.Append(std::span(chunk.data(), static_cast<std::size_t>(got)));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (pda::WaitFor(socket_.Get(), POLLIN, stop_) == pda::WaitResult::Woken)
                return Receive::Stopped;
            continue;
        }
        connected_.store(false);
        return left_.load() ? Receive::Left : Receive::HostGone;
    }
}

VirtualBusDevice::Receive VirtualBusDevice::Serve(const PacketHandler& handler) {
    std::vector<std::uint8_t> packet;
    for (;;) {
        const Receive received = ReceivePacket(packet);
        if (received != Receive::Packet)
            return received;
        handler(packet);
    }
}

bool VirtualBusDevice::SendReply(std::span<const std::uint8_t> bytes) {
    return SendRaw(pda::EncodeFrame(bytes));
}

bool VirtualBusDevice::SendRaw(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(sendMutex_);
    if (!connected_.load())
        return false;
    return pda::SendAll(socket_.Get(), bytes, stop_) == pda::SendResult::Sent;
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
