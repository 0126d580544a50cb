#pragma once
// A USB pipe pair inside one process, for tests and benchmarks: the host end
// is an ordinary UsbTransport, the device end is driven by an emulator (a
// handler that sees each transfer on the writer's thread, as a bulk OUT
// endpoint accepts it) or by a test that takes the transfers one by one.
//
// Replies can carry a delay (a flash write that takes its time). The device
// can leave the bus at any moment; the host then sees Disconnected, and a
// read that was already waiting ends as Failed, as a cancelled transfer does.

#include "usb/usb_transport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace marlow::emulators {

struct InProcessUsbLink;

class InProcessUsbDevice {
public:
    explicit InProcessUsbDevice(std::shared_ptr<InProcessUsbLink> link) : link_(std::move(link)) {}

    // Each host transfer goes to the handler, on the host's thread, before
    // Write returns. Without a handler transfers queue for NextTransfer.
    using TransferHandler = std::function<void(std::span<const std::uint8_t>)>;
    void SetTransferHandler(TransferHandler handler);

    // The next queued transfer; nullopt once the device has left the bus.
    std::optional<std::vector<std::uint8_t>> NextTransfer();

    void Reply(std::span<const std::uint8_t> bytes,
               std::chrono::milliseconds delay = std::chrono::milliseconds{0});
    void Disconnect();
    bool Connected() const;

    // Blocks until the host waits in ReadByte with nothing to read; false
    // when the device left the bus first.
    bool WaitForHostReading();
    int OpenCount() const;

private:
    std::shared_ptr<InProcessUsbLink> link_;
};

class InProcessUsbHost : public usb::UsbTransport {
public:
    InProcessUsbHost(std::shared_ptr<InProcessUsbLink> link, std::string description,
                     std::string devicePath);

    Status Open() override;
    void Close() override;
    bool IsOpen() const override;
    usb::TransferStatus Write(std::span<const std::uint8_t> packet) override;
    usb::TransferStatus ReadByte(std::uint8_t& out) override;
    void Interrupt() override;
    void ClearInterrupt() override;
    std::string Description() const override { return description_; }
    std::string DevicePath() const override { return devicePath_; }
    std::string PortPath() const override { return portPath; }
    std::string SerialNumber() const override { return serialNumber; }

    std::string portPath;     // where a test says the device is plugged in
    std::string serialNumber; // and which handset it is

private:
    std::shared_ptr<InProcessUsbLink> link_;
    std::string description_;
    std::string devicePath_;
};

struct InProcessUsbPair {
    std::unique_ptr<InProcessUsbHost> host;
    std::shared_ptr<InProcessUsbDevice> device;
};

InProcessUsbPair MakeInProcessUsbPair(std::string description = "PDA boot loader (in-process)",
                                      std::string devicePath = "inproc:1");

} // namespace marlow::emulators
