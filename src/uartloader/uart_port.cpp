#include "uartloader/uart_port.h"

#include "uartloader/port_names.h"

#include <QSerialPort>
#include <algorithm>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>

namespace marlow::uartloader {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

QSerialPort::Parity ToQt(Parity parity) {
    switch (parity) {
    case Parity::None:
        return QSerialPort::NoParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Even:
        return QSerialPort::EvenParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(StopBits stopBits) {
    return stopBits == StopBits::Two ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

// Start bit, data bits, parity bit, stop bits.
std::chrono::nanoseconds ByteTime(const LineSettings& settings) {
    const int bits = 1 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1) +
                     (settings.stopBits == StopBits::Two ? 2 : 1);
    return std::chrono::nanoseconds(std::int64_t{bits} * 1'000'000'000 /
                                    std::max<std::int64_t>(settings.baudRate, 1));
}

bool LineHungUp(int descriptor) {
    pollfd fd{descriptor, 0, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool IsQuietTimeout(QSerialPort::SerialPortError error) {
    return error == QSerialPort::NoError || error == QSerialPort::TimeoutError;
}

} // namespace

CUartPort::CUartPort(std::string portName) : portName_(std::move(portName)) {}

CUartPort::~CUartPort() {
    Close();
}

OpenResult CUartPort::Open(const LineSettings& settings) {
    if (connected_.load())
        return OpenResult::Success();

    const std::string devicePath = SystemPortPath(portName_);
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(QString::fromStdString(devicePath));
    if (!port_->open(QIODevice::ReadWrite)) {
        OpenResult failed = OpenResult::Failure(portName_ + ": cannot open " + devicePath + ": " +
                                                port_->errorString().toStdString());
        port_.reset();
        return failed;
    }

    OpenResult result = ApplyLineSettings(settings, devicePath);
    if (!result.ok) {
        port_->close();
        port_.reset();
        return result;
    }
    // Whatever the device sent before we were ready belongs to nobody.
    port_->clear(QSerialPort::AllDirections);
    byteTime_ = ByteTime(settings);
    mayHoldUnsent_ = false;
    connected_.store(true);
    return result;
}

OpenResult CUartPort::ApplyLineSettings(const LineSettings& settings,
                                        const std::string& devicePath) {
    auto refused = [&](const std::string& what) {
        return OpenResult::Failure(portName_ + ": the port refused " + what + ": " +
                                   port_->errorString().toStdString());
    };
    if (!port_->setBaudRate(static_cast<qint32>(settings.baudRate)))
        return refused(std::to_string(settings.baudRate) + " baud");
    if (!port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)))
        return refused(std::to_string(settings.dataBits) + " data bits");
    if (!port_->setStopBits(ToQt(settings.stopBits)))
        return refused("the stop bits");

    OpenResult result = OpenResult::Success();
    if (!port_->setParity(ToQt(settings.parity))) {
        // A pseudo-terminal (an emulator, a test) has no line to carry a
        // parity bit; everything else still applies there.
        if (!IsPseudoTerminal(devicePath))
            return refused("the parity setting");
        port_->clearError();
        result.warning = "warning: " + portName_ +
                         " is a pseudo-terminal, which cannot carry parity; running without it";
    }
    return result;
}

void CUartPort::Close() {
    connected_.store(false);
    if (!port_)
        return;
    if (port_->isOpen()) {
        port_->clear(QSerialPort::AllDirections);
        port_->close();
    }
    port_.reset();
}

LinkStatus CUartPort::WaitUntilSent() {
    while (mayHoldUnsent_) {
        if (!connected_.load() || !port_)
            return LinkStatus::Stopped;
        int queued = 0;
        if (::ioctl(port_->handle(), TIOCOUTQ, &queued) != 0 || queued <= 0)
            break;
        const auto needed = byteTime_ * queued;
        std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(needed, kStopCheckInterval));
    }
    mayHoldUnsent_ = false;
    return LinkStatus::Ok;
}

LinkStatus CUartPort::ReceiveData(std::span<std::uint8_t> into, milliseconds timeout) {
    if (const LinkStatus sent = WaitUntilSent(); sent != LinkStatus::Ok)
        return sent;
    const auto deadline = Clock::now() + timeout;
    const auto wanted = static_cast<qint64>(into.size());
    bool waited = false;
    while (true) {
        if (!connected_.load() || !port_)
            return LinkStatus::Stopped;
        if (port_->bytesAvailable() >= wanted)
            break;
        const auto now = Clock::now();
        if (waited && now >= deadline)
            return LinkStatus::TimedOut;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - now);
        const milliseconds slice = std::clamp(left, milliseconds(0), kStopCheckInterval);
        waited = true;
        if (!port_->waitForReadyRead(static_cast<int>(slice.count()))) {
            if (!IsQuietTimeout(port_->error()))
                return StatusFromPortError();
            port_->clearError();
        }
    }
    // The API takes char; the bytes are copied, not reinterpreted as numbers.
    const qint64 got = port_->read(reinterpret_cast<char*>(into.data()), wanted);
    return got == wanted ? LinkStatus::Ok : StatusFromPortError();
}

LinkStatus CUartPort::TransmitData(std::span<const std::uint8_t> bytes) {
    if (!connected_.load() || !port_)
        return LinkStatus::Stopped;
    if (bytes.empty())
        return LinkStatus::Ok;
    const auto count = static_cast<qint64>(bytes.size());
    mayHoldUnsent_ = true;
    if (port_->write(reinterpret_cast<const char*>(bytes.data()), count) != count)
        return StatusFromPortError();
    while (port_->bytesToWrite() > 0) {
        if (!connected_.load())
            return LinkStatus::Stopped;
        if (!port_->waitForBytesWritten(static_cast<int>(kStopCheckInterval.count()))) {
            if (!IsQuietTimeout(port_->error()))
                return StatusFromPortError();
            port_->clearError();
        }
    }
    return LinkStatus::Ok;
}

LinkStatus CUartPort::StatusFromPortError() {
    const QSerialPort::SerialPortError error = port_->error();
    port_->clearError();
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::NotOpenError:
        return LinkStatus::Gone;
    default:
        // A hung-up line (an adapter pulled, the other end of a terminal
        // closed) can surface as a plain read error; the descriptor tells.
        return LineHungUp(port_->handle()) ? LinkStatus::Gone : LinkStatus::Failed;
    }
}

} // namespace marlow::uartloader
