#pragma once
// The loader's serial port on Qt SerialPort.
//
// A QSerialPort must be used only by the thread that created it, so the
// QSerialPort lives between Open and Close on the owning (worker) thread.
// Another thread (the operator's "Disconnect", Ctrl-C) only calls
// RequestClose, which clears `connected`; the worker's read or write sees
// that within one wait slice and fails with Stopped, and the worker then
// closes the port itself. No thread ever touches a released port.
//
// Waiting is event-driven: reads block in the port's own poll, so a reply is
// taken the moment it arrives; the wait is cut into short slices only so
// that a stop request is noticed promptly.

#include "uartloader/uart_transport.h"

#include <atomic>
#include <memory>

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
    void RequestClose() override { connected_.store(false); }

    LinkStatus ReceiveData(std::span<std::uint8_t> into,
                           std::chrono::milliseconds timeout) override;
    LinkStatus TransmitData(std::span<const std::uint8_t> bytes) override;

    std::string PortName() const override { return portName_; }

    // How long a blocked read or write may go on before it looks at the stop
    // request again.
    static constexpr std::chrono::milliseconds kStopCheckInterval{5};

private:
    // A reply cannot come before our own bytes have left the wire; reads
    // start their time-out only then (the driver may still hold a whole
    // 2052-byte frame, 196 ms at 115200 baud).
    LinkStatus WaitUntilSent();
    OpenResult ApplyLineSettings(const LineSettings& settings, const std::string& devicePath);
    LinkStatus StatusFromPortError();

    std::atomic<bool> connected_{false};
    std::string portName_;
    std::unique_ptr<QSerialPort> port_;
    std::chrono::nanoseconds byteTime_{};
    bool mayHoldUnsent_ = false;
};

} // namespace marlow::uartloader
