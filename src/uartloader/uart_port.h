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

#include "uartloader/line_schedule.h"
#include "uartloader/uart_transport.h"

#include <atomic>
#include <memory>
#include <optional>

class QSerialPort;

namespace marlow::uartloader {

class CUartPort final : public UartTransport {
public:
    // "COM3" (the platform's third serial port), "ttyUSB0", or a path.
    explicit CUartPort(std::string portName);
    ~CUartPort() override; // the owner thread's; closes the port

    CUartPort(const CUartPort&) = delete;
    CUartPort& operator=(const CUartPort&) = delete;

    OpenResult Open(const LineSettings& settings) override;
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
    LinkStatus TakeArrivedBytes();
    LinkStatus HandOverQueuedBytes();
    OpenResult ApplyLineSettings(const LineSettings& settings, const std::string& devicePath);
    LinkStatus StatusFromPortError();

    std::atomic<bool> connected_{false};
    const int stopEvent_; // an eventfd: readable once a stop is requested
    std::string portName_;
    std::unique_ptr<QSerialPort> port_;
    LineSchedule schedule_;
};

} // namespace marlow::uartloader
