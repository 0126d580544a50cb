#pragma once
// The host's end of one device on the virtual USB bus: a Unix stream socket
// accepted by the bus listener. Each Write goes out as exactly one frame (a
// zero-length packet as an empty frame); the device's frames may have any
// length and ReadByte hands out their bytes one at a time.

#include "usb/usb_transport.h"
#include "usb/virtual_bus_frame.h"
#include "usb/virtual_bus_socket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace marlow::usb {

// One device connection, shared by its transport and the listener that
// watches for its end. The socket closes when both have let go, and
// `released` is told then (a listener short of descriptors waits for it).
struct VirtualBusLink {
    VirtualBusLink() = default;
    ~VirtualBusLink();
    VirtualBusLink(const VirtualBusLink&) = delete;
    VirtualBusLink& operator=(const VirtualBusLink&) = delete;

    UniqueFd socket; // non-blocking
    std::string devicePath;
    std::string description;
    std::string portPath;     // empty when the device did not name one
    std::string serialNumber; // likewise
    // Bytes the device sent after its description, not yet handed out.
    FrameDecoder received{kVirtualBusMaxFrame};
    // Told when the device misbehaves and is cut off; may be empty.
    std::function<void(const std::string& text)> problem;
    std::function<void()> released;
};

class VirtualBusTransport final : public UsbTransport {
public:
    explicit VirtualBusTransport(std::shared_ptr<VirtualBusLink> link);
    // Hangs up, so the device sees the host let go.
    ~VirtualBusTransport() override;
    VirtualBusTransport(const VirtualBusTransport&) = delete;
    VirtualBusTransport& operator=(const VirtualBusTransport&) = delete;

    Status Open() override;
    void Close() override { open_.store(false); }
    bool IsOpen() const override { return open_.load(); }

    TransferStatus Write(std::span<const std::uint8_t> packet) override;
    // The packets' frames gathered into as few sends as the socket takes.
    TransferStatus WriteEach(std::span<const std::span<const std::uint8_t>> packets,
                             std::size_t& sent) override;
    TransferStatus ReadByte(std::uint8_t& out) override;
    void Interrupt() override;
    void ClearInterrupt() override;

    std::string Description() const override { return link_->description; }
    std::string DevicePath() const override { return link_->devicePath; }
    std::string PortPath() const override { return link_->portPath; }
    std::string SerialNumber() const override { return link_->serialNumber; }

private:
    enum class Fill { Got, Gone, Stopped, Failed };
    Fill ReceiveMore();
    TransferStatus CutOff(const std::string& why);

    std::shared_ptr<VirtualBusLink> link_;
    std::atomic<bool> open_{false};
    std::atomic<bool> interrupted_{false};
    WakeSignal wake_;
    // The device frame being handed out, a view into `link_->received`.
    std::span<const std::uint8_t> frame_;
    std::size_t nextByte_ = 0;
};

} // namespace marlow::usb
