#pragma once
// A umockdev testbed with emulated USB boot loaders behind it: sysfs entries
// and descriptors for libusb to enumerate, and a usbfs ioctl handler that
// answers bulk URBs. OUT transfers are recorded one per URB (a zero-length
// packet as an empty one); IN transfers wait for queued reply bytes. The
// test process must run under umockdev-wrapper.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marlow::test {

struct EmulatedBootLoaderShape {
    int bus = 1;
    int address = 2;
    std::string port = "3"; // "3" or "1.4"
    std::uint16_t vendor = 0x045e;
    std::uint16_t product = 0x00ce;
    std::string manufacturer = "Korvane";
    std::string productName = "PDA Boot Loader";
    bool bulkPair = true; // false: one bulk OUT endpoint only
};

class EmulatedBootLoader;

class UmockdevUsbBed {
public:
    UmockdevUsbBed();
    ~UmockdevUsbBed();
    UmockdevUsbBed(const UmockdevUsbBed&) = delete;
    UmockdevUsbBed& operator=(const UmockdevUsbBed&) = delete;

    // True when this process runs inside umockdev's preload library.
    static bool Active();

    // Plugs a device in; `announce` sends the udev "add" event hot-plug needs.
    EmulatedBootLoader& Plug(const EmulatedBootLoaderShape& shape, bool announce);
    // Pulls it out: pending and later transfers fail as on a real unplug.
    void Unplug(EmulatedBootLoader& device);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

class EmulatedBootLoader {
public:
    // The host's OUT transfers so far, one per URB.
    std::vector<std::vector<std::uint8_t>> OutTransfers() const;
    // Bytes the next IN transfers return, as one packet per call.
    void QueueReply(std::vector<std::uint8_t> packet);
    // Number of IN transfers submitted and not yet answered.
    int PendingInTransfers() const;
    int CancelledInTransfers() const;

    struct State;
    explicit EmulatedBootLoader(std::shared_ptr<State> state) : shared(std::move(state)) {}
    std::shared_ptr<State> shared;
};

} // namespace marlow::test
