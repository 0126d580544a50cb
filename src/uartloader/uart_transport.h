#pragma once
// The one narrow interface between the UART loader and its serial link.
// Backends: CUartPort (Qt SerialPort, the real port and pseudo-terminals)
// and the in-process link used by the tests.
//
// Threading contract: one thread owns a transport and is the only one that
// opens, closes, reads and writes it. RequestClose is the single call allowed
// from any other thread: it clears `connected`, makes a blocked or later
// read or write return Stopped promptly without touching the device, and
// leaves the release of the device to the owner's Close.

#include "common/result.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace marlow::uartloader {

enum class LinkStatus {
    Ok,
    TimedOut,  // not all bytes came in time; nothing was consumed
    Stopped,   // RequestClose was called, or the port is not open
    Gone,      // the device vanished (unplugged, other end closed)
    LineBreak, // a write went out, but the line meanwhile reported a break
    Failed,    // any other I/O error
};

// Words an operator can read, for diagnostics ("no reply in time", ...).
const char* DescribeLinkStatus(LinkStatus status);

enum class Parity { None, Odd, Even };
enum class StopBits { One, Two };

struct LineSettings {
    std::uint32_t baudRate = 115200;
    int dataBits = 8;
    Parity parity = Parity::Even;
    StopBits stopBits = StopBits::One;
};

// What the loader uses: 115200 baud, 8 data bits, even parity, 1 stop bit.
inline constexpr LineSettings kLoaderLineSettings{};

// What an open that succeeded still has to say.
struct PortOpened {
    std::string warning; // one line when something was applied only in part
};

class UartTransport {
public:
    virtual ~UartTransport() = default;

    // Opening an open transport is a no-op that succeeds and keeps the old
    // settings. A successful open discards whatever was queued either way.
    // A failure says why the port did not open.
    virtual Result<PortOpened> Open(const LineSettings& settings) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Any thread. See the contract above.
    virtual void RequestClose() = 0;

    // Takes exactly into.size() bytes within `timeout`, or consumes nothing.
    virtual LinkStatus ReceiveData(std::span<std::uint8_t> into,
                                   std::chrono::milliseconds timeout) = 0;
    // Returns once every byte has been handed to the device, or fails.
    virtual LinkStatus TransmitData(std::span<const std::uint8_t> bytes) = 0;

    // The name the operator chose ("COM3", "ttyUSB0", a path).
    virtual std::string PortName() const = 0;
};

} // namespace marlow::uartloader
