#pragma once
// The device's end of the virtual USB bus, for emulators and test rigs: it
// connects to Marlow's socket path, introduces itself with its description
// and then receives the host's transfers one frame each (a zero-length packet
// as an empty frame) and sends reply bytes back as frames. An emulator plugs
// a packet handler into Serve; the handler answers through SendReply.

#include "common/result.h"
#include "usb/virtual_bus_frame.h"
#include "usb/virtual_bus_socket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::emulators {

class VirtualBusDevice {
public:
    VirtualBusDevice() = default;
    ~VirtualBusDevice() { Disconnect(); }
    VirtualBusDevice(const VirtualBusDevice&) = delete;
    VirtualBusDevice& operator=(const VirtualBusDevice&) = delete;

    // Arrives on the bus: connects and sends `description` as the first
    // frame, with the USB port path it sits on and its serial number where
    // it names them.
    Status Connect(const std::string& socketPath, const usb::VirtualDeviceDescription& description);
    Status Connect(const std::string& socketPath, std::string_view text,
                   std::string_view portPath = {}) {
        return Connect(socketPath, {.text = std::string(text), .portPath = std::string(portPath)});
    }
    // Leaves the bus; the host sees the device removed. Safe from a handler.
    void Disconnect();
    bool Connected() const { return connected_.load(); }

    enum class Receive {
        Packet,   // a host transfer
        HostGone, // the host hung up
        Left,     // this device left the bus (Disconnect)
        Stopped,  // Stop was called
        Garbage,  // the host sent a frame beyond the bound
    };
    // The next host transfer, copied into `packet` (Serve copies nothing).
    Receive ReceivePacket(std::vector<std::uint8_t>& packet);

    using PacketHandler = std::function<void(std::span<const std::uint8_t> packet)>;
    // Hands every host transfer to `handler` until anything but a packet
    // comes; returns that.
    Receive Serve(const PacketHandler& handler);

    // One frame of reply bytes (may be called from any thread).
    bool SendReply(std::span<const std::uint8_t> bytes);
    // Bytes as they stand, unframed: for fault injection (garbage, a
    // length that lies).
    bool SendRaw(std::span<const std::uint8_t> bytes);
    // Lets device time pass; false as soon as the host hangs up or Stop comes.
    bool Wait(std::chrono::milliseconds duration);

    // From any thread: ends a blocked ReceivePacket, Serve or Wait.
    void Stop();

private:
    // Reads straight into the decoder's buffer; the frame is a view of it,
    // valid until the next receive.
    Receive ReceiveFrame(std::span<const std::uint8_t>& frame);
    bool Send(std::span<const std::uint8_t> head, std::span<const std::uint8_t> body);
    static constexpr std::size_t kReadSize = 64 * 1024;

    usb::UniqueFd socket_;
    usb::WakeSignal stop_;
    usb::FrameDecoder received_{usb::kVirtualBusMaxFrame};
    bool drained_ = false; // the last read came back short: wait before the next

    std::mutex sendMutex_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> left_{false};
};

} // namespace marlow::emulators
