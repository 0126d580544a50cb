#pragma once
// One narrow interface to a PDA boot loader's bulk pipe pair. Backends:
// libusb (real handsets), the virtual USB bus over a Unix socket (emulators,
// demo, external rigs) and an in-process pair for unit tests.
//
// Semantics the download relies on: a Write is one bulk transfer (an empty
// span is a zero-length packet); ReadByte blocks until one reply byte is
// there, with no time-out; Interrupt, callable from any thread, makes a
// blocked or later ReadByte/Write return Stopped at once, so a stop request
// never needs to kill a thread.

#include "common/result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace marlow::usb {

enum class TransferStatus {
    Ok,
    Failed,       // the transfer failed (I/O error, stall...)
    Disconnected, // the device has gone
    Stopped,      // Interrupt() was called
};

class UsbTransport {
public:
    virtual ~UsbTransport() = default;

    // One attempt to open the device; the retry policy is the pipe's.
    // A failure says why in words an operator can act on.
    virtual Status Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual TransferStatus Write(std::span<const std::uint8_t> packet) = 0;
    // Several packets in order, each one transfer as Write makes it; `sent`
    // counts those that went out whole before a failure or a stop. A
    // transport that can hand the system several transfers at once
    // overrides it; this one writes them one by one.
    virtual TransferStatus WriteEach(std::span<const std::span<const std::uint8_t>> packets,
                                     std::size_t& sent) {
        for (sent = 0; sent < packets.size(); ++sent)
            if (const TransferStatus status = Write(packets[sent]); status != TransferStatus::Ok)
                return status;
        return TransferStatus::Ok;
    }
    virtual TransferStatus ReadByte(std::uint8_t& out) = 0;
    virtual void Interrupt() = 0;
    // Lifts an Interrupt, so that the pipe can be used again after a stop:
    // the next run, or the unload command sent once a download has been
    // stopped. Transports whose Interrupt outlasts the call must override it.
    virtual void ClearInterrupt() {}

    // What the device says about itself (friendly name / description).
    virtual std::string Description() const = 0;
    // Stable identity while the device stays plugged in ("usb:1-4.2", "bus:3").
    virtual std::string DevicePath() const = 0;
    // Where the device is plugged in, its USB port path ("1-4.2"); empty
    // when the source cannot tell. It outlives the device's re-enumeration,
    // so a station slot follows its handset by it.
    virtual std::string PortPath() const { return {}; }
    // The device's serial number string, where it has one (read once it is
    // open); empty otherwise.
    virtual std::string SerialNumber() const { return {}; }
};

} // namespace marlow::usb
