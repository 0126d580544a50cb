#pragma once
// The loader's serial port on Qt SerialPort.
//
// A QSerialPort must be used only by the thread that created it, so the
// QSerialPort lives between Open and Close on the owning (worker) thread.
// Another thread (the operator's "Disconnect", Ctrl-C) only calls
// RequestClose, which clears `connected` and fires the port's stop event;
// the worker's read or write wakes at once, fails with Stopped, and the
// worker then closes the port itself. No thread ever touches a released
// port.
//
// Every wait sleeps in poll() on the port and the stop event together, so a
// reply is taken the moment it arrives and a wait of a minute costs nothing.
// A reply's time-out starts when our own last byte can have left the line,
// worked out from the byte count and the baud rate (see LineSchedule).
//
// Closing lets what was written leave first: the port is closed after the
// driver has sent it, not purged under it, so a last word the log calls
// sent is on the line. A stop request cuts that wait short, and so does a
// line that takes nothing more for a while; only then is the rest dropped.
//
// A write that the line answers with a break and no other error fails, as
// a reset handset or a pulled cable shows itself that way. The driver's
// counters tell (TIOCGICOUNT); a read clears what it saw, and a driver
// that keeps none (a pseudo-terminal) never reports one.

#include "uartloader/line_schedule.h"
#include "uartloader/uart_transport.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QSerialPort;

namespace marlow::uartloader {

// What a serial driver has counted on the line since it was opened.
struct LineErrorCounts {
    std::uint64_t breaks = 0;
    std::uint64_t errors = 0; // framing, parity and overruns together
    bool operator==(const LineErrorCounts&) const = default;
};
// The driver's counts for an open port; all zero where it keeps none.
LineErrorCounts ReadLineErrorCounts(int descriptor);
using LineErrorReader = std::function<LineErrorCounts(int descriptor)>;

class CUartPort final : public UartTransport {
public:
    // "COM3" (the platform's third serial port), "ttyUSB0", or a path.
    explicit CUartPort(std::string portName, LineErrorReader lineErrors = ReadLineErrorCounts);
    ~CUartPort() override; // the owner thread's; closes the port

    CUartPort(const CUartPort&) = delete;
    CUartPort& operator=(const CUartPort&) = delete;

    Result<PortOpened> Open(const LineSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return connected_.load(); }
    void RequestClose() override;

    LinkStatus ReceiveData(std::span<std::uint8_t> into,
                           std::chrono::milliseconds timeout) override;
    LinkStatus TransmitData(std::span<const std::uint8_t> bytes) override;

    std::string PortName() const override { return portName_; }

private:
    using Clock = LineSchedule::Clock;

    // Sleeps until the port has `events` (POLLIN, POLLOUT), a stop is
    // requested, the line hangs up or `deadline` passes.
    LinkStatus AwaitPort(short events, std::optional<Clock::time_point> deadline);
    LinkStatus TakeBytes(std::span<std::uint8_t> into, std::chrono::milliseconds timeout);
    LinkStatus TakeArrivedBytes();
    LinkStatus HandOverQueuedBytes();
    Result<PortOpened> ApplyLineSettings(const LineSettings& settings,
                                         const std::string& devicePath);
    LinkStatus StatusFromPortError();
    bool DrainWritten();
    // Takes the driver's counts as seen; true when only breaks came since.
    bool OnlyABreakSinceLastLook();

    std::atomic<bool> connected_{false};
    const int stopEvent_; // an eventfd: readable once a stop is requested
    std::string portName_;
    std::unique_ptr<QSerialPort> port_;
    LineSchedule schedule_;
    LineErrorReader lineErrors_;
    LineErrorCounts errorsSeen_;
};

} // namespace marlow::uartloader
