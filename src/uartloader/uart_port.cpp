#include "uartloader/uart_port.h"

#include "uartloader/port_names.h"

#include <QSerialPort>
#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace marlow::uartloader {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a close waits for a line that takes none of what is still queued
// (flow control holding it, an adapter that stopped) before dropping it.
constexpr milliseconds kDrainGrace{1000};

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

// poll()'s time-out in whole milliseconds, rounded up so that a wait never
// ends before its deadline; -1 waits without one.
int PollTimeout(std::optional<Clock::time_point> deadline) {
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<milliseconds>(*deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, std::numeric_limits<int>::max()));
}

bool LineHungUp(int descriptor) {
    pollfd fd{descriptor, 0, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// What the driver still holds to send; 0 where it cannot tell.
std::size_t QueuedForSending(int descriptor) {
    int queued = 0;
    return ::ioctl(descriptor, TIOCOUTQ, &queued) == 0 && queued > 0
               ? static_cast<std::size_t>(queued)
               : 0;
}

bool IsQuietTimeout(QSerialPort::SerialPortError error) {
    return error == QSerialPort::NoError || error == QSerialPort::TimeoutError;
}

} // namespace

LineErrorCounts ReadLineErrorCounts(int descriptor) {
    serial_icounter_struct counts{};
    if (::ioctl(descriptor, TIOCGICOUNT, &counts) != 0)
        return {};
    return {.breaks = static_cast<std::uint64_t>(counts.brk),
            .errors = static_cast<std::uint64_t>(counts.frame) +
                      static_cast<std::uint64_t>(counts.parity) +
                      static_cast<std::uint64_t>(counts.overrun) +
                      static_cast<std::uint64_t>(counts.buf_overrun)};
}

CUartPort::CUartPort(std::string portName, LineErrorReader lineErrors)
    : stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), portName_(std::move(portName)),
      lineErrors_(std::move(lineErrors)) {}

CUartPort::~CUartPort() {
    Close();
    if (stopEvent_ >= 0)
        ::close(stopEvent_);
}

Result<PortOpened> CUartPort::Open(const LineSettings& settings) {
    if (connected_.load())
        return PortOpened{};
    if (stopEvent_ < 0)
        return Failure{portName_ + ": cannot create the port's stop event"};

    const std::string devicePath = SystemPortPath(portName_);
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(QString::fromStdString(devicePath));
    if (!port_->open(QIODevice::ReadWrite)) {
        Failure failed{portName_ + ": cannot open " + devicePath + ": " +
                       port_->errorString().toStdString()};
        port_.reset();
        return failed;
    }

    Result<PortOpened> result = ApplyLineSettings(settings, devicePath);
    if (!result) {
        port_->close();
        port_.reset();
        return result;
    }
    // Whatever the device sent before we were ready belongs to nobody.
    port_->clear(QSerialPort::AllDirections);
    schedule_ = LineSchedule(settings);
    errorsSeen_ = lineErrors_(port_->handle());
    // A stop requested for an earlier opening is over.
    std::uint64_t stops = 0;
    [[maybe_unused]] const ssize_t cleared = ::read(stopEvent_, &stops, sizeof stops);
    connected_.store(true);
    return result;
}

Result<PortOpened> CUartPort::ApplyLineSettings(const LineSettings& settings,
                                                const std::string& devicePath) {
    auto refused = [&](const std::string& what) {
        return Failure{portName_ + ": the port refused " + what + ": " +
                       port_->errorString().toStdString()};
    };
    if (!port_->setBaudRate(static_cast<qint32>(settings.baudRate)))
        return refused(std::to_string(settings.baudRate) + " baud");
    if (!port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)))
        return refused(std::to_string(settings.dataBits) + " data bits");
    if (!port_->setStopBits(ToQt(settings.stopBits)))
        return refused("the stop bits");

    PortOpened result;
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
        port_->clear(QSerialPort::Input);
        if (!DrainWritten())
            port_->clear(QSerialPort::Output);
        port_->close();
    }
    port_.reset();
}

// Sleeps until the driver has sent what was written, each time for as long
// as the line needs for what it still holds. A stop request ends the wait,
// and so does a line that took nothing for kDrainGrace.
bool CUartPort::DrainWritten() {
    if (port_->bytesToWrite() > 0)
        return false; // a write that a stop cut short: its rest is not wanted
    std::size_t queued = QueuedForSending(port_->handle());
    Clock::time_point giveUp = Clock::now() + kDrainGrace;
    while (queued > 0) {
        const Clock::time_point now = Clock::now();
        if (now >= giveUp)
            return false;
        const Clock::duration lineTime =
            std::max<Clock::duration>(schedule_.LineTime(queued), std::chrono::milliseconds(1));
        pollfd stop{stopEvent_, POLLIN, 0};
        const int ready = ::poll(&stop, 1, PollTimeout(std::min(now + lineTime, giveUp)));
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return false;
        const std::size_t left = QueuedForSending(port_->handle());
        if (left < queued)
            giveUp = Clock::now() + kDrainGrace;
        queued = left;
    }
    // The driver's queue is empty; what is left is the transmitter's own
    // few bytes, which tcdrain waits for.
    ::tcdrain(port_->handle());
    return true;
}

bool CUartPort::OnlyABreakSinceLastLook() {
    const LineErrorCounts now = lineErrors_(port_->handle());
    const bool onlyABreak = now.breaks != errorsSeen_.breaks && now.errors == errorsSeen_.errors;
    errorsSeen_ = now;
    return onlyABreak;
}

void CUartPort::RequestClose() {
    connected_.store(false);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopEvent_, &one, sizeof one);
}

LinkStatus CUartPort::AwaitPort(short events, std::optional<Clock::time_point> deadline) {
    std::array<pollfd, 2> fds{{{port_->handle(), events, 0}, {stopEvent_, POLLIN, 0}}};
    while (true) {
        if (!connected_.load())
            return LinkStatus::Stopped;
        const int ready = ::poll(fds.data(), fds.size(), PollTimeout(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return LinkStatus::Failed;
        if (fds[1].revents != 0)
            return LinkStatus::Stopped;
        if ((fds[0].revents & events) != 0)
            return LinkStatus::Ok;
        if (fds[0].revents != 0)
            return LinkStatus::Gone; // hung up, with nothing left to take
        if (deadline && Clock::now() >= *deadline)
            return LinkStatus::TimedOut;
    }
}

// Moves what the driver holds into the port's buffer.
LinkStatus CUartPort::TakeArrivedBytes() {
    const qint64 before = port_->bytesAvailable();
    if (!port_->waitForReadyRead(0) && !IsQuietTimeout(port_->error()))
        return StatusFromPortError();
    port_->clearError();
    // A hung-up line reads as ready with nothing in it.
    if (port_->bytesAvailable() == before && LineHungUp(port_->handle()))
        return LinkStatus::Gone;
    return LinkStatus::Ok;
}

// Hands what the port's buffer still holds to the driver.
LinkStatus CUartPort::HandOverQueuedBytes() {
    if (!port_->waitForBytesWritten(0) && !IsQuietTimeout(port_->error()))
        return StatusFromPortError();
    port_->clearError();
    return LinkStatus::Ok;
}

LinkStatus CUartPort::TakeBytes(std::span<std::uint8_t> into, milliseconds timeout) {
    if (!connected_.load() || !port_)
        return LinkStatus::Stopped;
    const Clock::time_point deadline = schedule_.ReplyDeadline(Clock::now(), timeout);
    const auto wanted = static_cast<qint64>(into.size());
    while (port_->bytesAvailable() < wanted) {
        if (const LinkStatus ready = AwaitPort(POLLIN, deadline); ready != LinkStatus::Ok)
            return ready;
        if (const LinkStatus taken = TakeArrivedBytes(); taken != LinkStatus::Ok)
            return taken;
    }
    // The API takes char; the bytes are copied, not reinterpreted as numbers.
    const qint64 got = port_->read(reinterpret_cast<char*>(into.data()), wanted);
    return got == wanted ? LinkStatus::Ok : StatusFromPortError();
}

LinkStatus CUartPort::ReceiveData(std::span<std::uint8_t> into, milliseconds timeout) {
    const LinkStatus status = TakeBytes(into, timeout);
    if (port_)
        OnlyABreakSinceLastLook(); // a read clears what the line reported
    return status;
}

LinkStatus CUartPort::TransmitData(std::span<const std::uint8_t> bytes) {
    if (!connected_.load() || !port_)
        return LinkStatus::Stopped;
    if (bytes.empty())
        return LinkStatus::Ok;
    const auto count = static_cast<qint64>(bytes.size());
    schedule_.Occupy(bytes.size(), Clock::now());
    if (port_->write(reinterpret_cast<const char*>(bytes.data()), count) != count)
        return StatusFromPortError();
    while (port_->bytesToWrite() > 0) {
        if (const LinkStatus ready = AwaitPort(POLLOUT, std::nullopt); ready != LinkStatus::Ok)
            return ready;
        if (const LinkStatus handed = HandOverQueuedBytes(); handed != LinkStatus::Ok)
            return handed;
    }
    return OnlyABreakSinceLastLook() ? LinkStatus::LineBreak : LinkStatus::Ok;
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
