#include "modemlink/modem_serial_line.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace marlow::modemlink {
namespace {

bool BaudConstant(std::uint32_t baud, speed_t* speed) {
    struct Rate {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            *speed = rate.speed;
            return true;
        }
    }
    return false;
}

Status MakeRaw(int fd, speed_t speed) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return Failure{std::string("cannot read the port settings: ") + std::strerror(errno)};
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE);
    tio.c_cflag |= CS8;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return Failure{std::string("cannot set the port up: ") + std::strerror(errno)};
    return {};
}

Status WakePipe(int* readEnd, int* writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return Failure{std::string("cannot create a wake-up pipe: ") + std::strerror(errno)};
    *readEnd = ends[0];
    *writeEnd = ends[1];
    return {};
}

} // namespace

const char* LineStatusText(LineStatus status) {
    switch (status) {
    case LineStatus::Ok:
        return "ok";
    case LineStatus::TimedOut:
        return "timed out";
    case LineStatus::Stopped:
        return "stopped";
    case LineStatus::Closed:
        return "the link has gone";
    case LineStatus::Failed:
        return "I/O error";
    }
    return "unknown";
}

Result<std::unique_ptr<SerialLine>> SerialLine::OpenPort(const std::string& path,
                                                         std::uint32_t baud) {
    speed_t speed{};
    if (!BaudConstant(baud, &speed))
        return Failure{"unsupported baud rate " + std::to_string(baud)};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Failure{"cannot open " + path + ": " + std::strerror(errno)};
    if (Status raw = MakeRaw(fd, speed); !raw) {
        ::close(fd);
        return Failure{raw.Error()};
    }
    // Answers left over from an earlier session are not for us; what we
    // wrote before stays on its way.
    ::tcflush(fd, TCIFLUSH);
    return Adopt(fd);
}

Result<std::unique_ptr<SerialLine>> SerialLine::Adopt(int fd) {
    int wakeRead = -1;
    int wakeWrite = -1;
    if (Status piped = WakePipe(&wakeRead, &wakeWrite); !piped) {
        ::close(fd);
        return Failure{piped.Error()};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<SerialLine>(new SerialLine(fd, wakeRead, wakeWrite));
}

SerialLine::~SerialLine() {
    ::close(fd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void SerialLine::Interrupt() {
    interrupted_ = true;
    const std::uint8_t byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
}

void SerialLine::ClearInterrupt() {
    interrupted_ = false;
    std::uint8_t drain[64];
    while (::read(wakeRead_, drain, sizeof drain) > 0) {
    }
}

LineStatus SerialLine::WaitFor(short events, std::chrono::milliseconds timeout, bool stoppable) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (stoppable && interrupted_)
            return LineStatus::Stopped;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return LineStatus::TimedOut;
        pollfd fds[2] = {{fd_, events, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = ::poll(fds, stoppable ? 2 : 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return LineStatus::Failed;
        if (stoppable && interrupted_)
            return LineStatus::Stopped;
        if (fds[0].revents & events)
            return LineStatus::Ok;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return LineStatus::Closed;
    }
}

LineStatus SerialLine::WriteAll(std::span<const std::uint8_t> bytes,
                                std::chrono::milliseconds timeout) {
    // Written at once while the line takes it; waited for only when it is full.
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written >= 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return errno == EIO ? LineStatus::Closed : LineStatus::Failed;
        const LineStatus ready = WaitFor(POLLOUT, timeout, false);
        if (ready != LineStatus::Ok)
            return ready;
    }
    return LineStatus::Ok;
}

LineStatus SerialLine::Read(std::vector<std::uint8_t>& into, std::chrono::milliseconds timeout,
                            bool restOfFrame) {
    if (interrupted_)
        return LineStatus::Stopped;
    for (bool wait = !restOfFrame;; wait = true) {
        if (const LineStatus ready = wait ? WaitFor(POLLIN, timeout, true) : LineStatus::Ok;
            ready != LineStatus::Ok)
            return ready;
        // Room for a whole frame and more, so one wake-up takes what came.
        std::uint8_t buffer[16384];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            into.insert(into.end(), buffer, buffer + got);
            return LineStatus::Ok;
        }
        if (got == 0)
            return LineStatus::Closed;
        if (errno == EAGAIN || errno == EINTR)
            continue;
        return errno == EIO ? LineStatus::Closed : LineStatus::Failed;
    }
}

} // namespace marlow::modemlink
