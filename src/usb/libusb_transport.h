#pragma once
// A real handset's boot loader through libusb: the first interface with a
// bulk IN and a bulk OUT endpoint. Every transfer is asynchronous underneath
// so that Interrupt can cancel it from another thread; ReadByte hands out
// the bytes of one IN packet one at a time.

#include "usb/libusb_context.h"
#include "usb/libusb_device_info.h"
#include "usb/usb_transport.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace marlow::usb {

// One transfer's completion: `completed` for libusb's event loop, `done` for
// the thread that waits on it.
struct TransferWait {
    int completed = 0;
    std::atomic<bool> done{false};
};

class LibusbTransport final : public UsbTransport {
public:
    // Takes its own reference on `device`.
    LibusbTransport(std::shared_ptr<LibusbContext> context, libusb_device* device,
                    std::string description);
    ~LibusbTransport() override;
    LibusbTransport(const LibusbTransport&) = delete;
    LibusbTransport& operator=(const LibusbTransport&) = delete;

    Status Open() override;
    void Close() override;
    bool IsOpen() const override { return handle_ != nullptr; }

    TransferStatus Write(std::span<const std::uint8_t> packet) override;
    TransferStatus ReadByte(std::uint8_t& out) override;
    void Interrupt() override;
    void ClearInterrupt() override;

    std::string Description() const override { return description_; }
    std::string DevicePath() const override { return info_.path; }
    std::string PortPath() const override { return info_.portPath; }
    std::string SerialNumber() const override { return serialNumber_; }
    const UsbDeviceInfo& Info() const { return info_; }

private:
    TransferStatus Transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                            std::size_t& transferred);
    TransferStatus AwaitCompletion(libusb_transfer* transfer, TransferWait& wait);
    Status Claim();

    std::shared_ptr<LibusbContext> context_;
    libusb_device* device_;
    UsbDeviceInfo info_;
    std::string description_;

    libusb_device_handle* handle_ = nullptr;
    BulkPair pair_;
    std::string serialNumber_; // read when opened

    // The rest of the last IN packet, handed out by later ReadByte calls.
    std::vector<std::uint8_t> received_;
    std::size_t nextReceived_ = 0;

    std::atomic<bool> interrupted_{false};
    std::mutex inFlightMutex_;
    libusb_transfer* inFlight_ = nullptr;
};

} // namespace marlow::usb
