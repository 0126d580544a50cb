#include "emulators/uart_pty.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace marlow::emulators {

namespace {

using std::chrono::milliseconds;

// While the tool has the slave closed, the master reports a hang-up at once
// and cannot be waited on; the slave's opening is watched instead. Without a
// watch (inotify refused one), this is how often we look again.
constexpr milliseconds kAbsentHostPause{2};
constexpr std::size_t kReadSize = 4096;

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

int PollTimeout(UartDeviceLink::Clock::time_point deadline) {
    const auto left = deadline - UartDeviceLink::Clock::now();
    if (left <= UartDeviceLink::Clock::duration::zero())
        return 0;
    // Round up so that a wait never ends before its deadline.
    return static_cast<int>(std::chrono::ceil<milliseconds>(left).count());
}

// An inotify descriptor that becomes readable whenever someone opens the
// slave, or -1.
int WatchOpenings(const std::string& slavePath) {
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 && ::inotify_add_watch(watch, slavePath.c_str(), IN_OPEN) < 0) {
        ::close(watch);
        return -1;
    }
    return watch;
}

Status ReplaceLink(const std::string& linkPath, const std::string& target) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            return Failure{linkPath + " exists and is not a symbolic link; not replacing it"};
        ::unlink(linkPath.c_str());
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0)
        return Failure{Errno(("cannot create the link " + linkPath).c_str())};
    return {};
}

} // namespace

Result<std::unique_ptr<UartPty>> UartPty::Create(const std::string& linkPath) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        return Failure{Errno("posix_openpt")};
    auto fail = [&](const char* what) {
        Failure failure{Errno(what)};
        ::close(master);
        return failure;
    };
    if (::grantpt(master) != 0)
        return fail("grantpt");
    if (::unlockpt(master) != 0)
        return fail("unlockpt");
    const char* slave = ::ptsname(master);
    if (slave == nullptr)
        return fail("ptsname");
    const std::string slavePath = slave;

    // Raw from the start, so nothing is echoed back before the tool opens.
    termios tio{};
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    int packetMode = 1;
    if (::ioctl(master, TIOCPKT, &packetMode) != 0)
        return fail("TIOCPKT");
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0)
        return fail("eventfd");
    if (const Status linked = linkPath.empty() ? Status() : ReplaceLink(linkPath, slavePath);
        !linked) {
        ::close(wake);
        ::close(master);
        return Failure{linked.Error()};
    }
    return std::unique_ptr<UartPty>(
        new UartPty(master, wake, WatchOpenings(slavePath), slavePath, linkPath));
}

UartPty::UartPty(int master, int wake, int slaveOpened, std::string slavePath, std::string linkPath)
    : master_(master), wake_(wake), slaveOpened_(slaveOpened), slavePath_(std::move(slavePath)),
      linkPath_(std::move(linkPath)) {}

UartPty::~UartPty() {
    if (!linkPath_.empty()) {
        std::array<char, 4096> target{};
        const ssize_t n = ::readlink(linkPath_.c_str(), target.data(), target.size() - 1);
        if (n > 0 && slavePath_ == std::string(target.data(), static_cast<std::size_t>(n)))
            ::unlink(linkPath_.c_str());
    }
    if (master_ >= 0)
        ::close(master_);
    if (slaveOpened_ >= 0)
        ::close(slaveOpened_);
    ::close(wake_);
}

void UartPty::Stop() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

void UartPty::Hangup() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool UartPty::SlaveClosed() const {
    pollfd master{master_, POLLIN | POLLPRI, 0};
    return ::poll(&master, 1, 0) == 1 && master.revents == POLLHUP;
}

bool UartPty::WaitForSlaveOpen(Clock::time_point deadline) {
    std::array<char, 4096> events{};
    while (slaveOpened_ >= 0 && ::read(slaveOpened_, events.data(), events.size()) > 0) {
    }
    if (!SlaveClosed())
        return true; // opened before the watch was emptied
    std::array<pollfd, 2> fds{{{wake_, POLLIN, 0}, {slaveOpened_, POLLIN, 0}}};
    const int timeout = slaveOpened_ >= 0
                            ? PollTimeout(deadline)
                            : std::min<int>(PollTimeout(deadline), kAbsentHostPause.count());
    ::poll(fds.data(), slaveOpened_ >= 0 ? 2 : 1, timeout);
    return fds[0].revents == 0;
}

UartPty::Event UartPty::ReadPacket(Clock::time_point deadline) {
    if (master_ < 0)
        return Event::Stopped;
    std::array<pollfd, 2> fds{{{master_, POLLIN | POLLPRI, 0}, {wake_, POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), PollTimeout(deadline));
    if (ready < 0)
        return errno == EINTR ? Event::Status : Event::Failed;
    if (fds[1].revents != 0)
        return Event::Stopped;
    if (ready == 0)
        return Event::TimedOut;
    const bool hostAbsent = (fds[0].revents & POLLHUP) != 0;
    if ((fds[0].revents & (POLLIN | POLLPRI)) == 0)
        return hostAbsent ? Event::HostAbsent : Event::Failed;

    std::array<std::uint8_t, kReadSize + 1> packet{};
    const ssize_t n = ::read(master_, packet.data(), packet.size());
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return Event::Status;
        return errno == EIO ? Event::HostAbsent : Event::Failed;
    }
    if (n == 0)
        return Event::HostAbsent;
    if (packet[0] == TIOCPKT_DATA) {
        if (pending_.empty())
            pendingSince_ = Clock::now();
        pending_.insert(pending_.end(), packet.begin() + 1, packet.begin() + n);
        return Event::Data;
    }
    if ((packet[0] & TIOCPKT_FLUSHREAD) != 0)
        return Event::Purge;
    return Event::Status;
}

template <typename Handle>
LinkStatus UartPty::ReadUntil(Clock::time_point deadline, Handle handle) {
    while (true) {
        const Event event = ReadPacket(deadline);
        if (const std::optional<LinkStatus> status = handle(event))
            return *status;
        switch (event) {
        case Event::TimedOut:
            return LinkStatus::TimedOut;
        case Event::Stopped:
            return LinkStatus::Stopped;
        case Event::Failed:
            return LinkStatus::Failed;
        default:
            break;
        }
    }
}

LinkStatus UartPty::WaitForHostOpen(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    return ReadUntil(deadline, [&](Event event) -> std::optional<LinkStatus> {
        if (event == Event::Data || event == Event::Purge)
            pending_.clear(); // data before the purge is noise from before the tool was ready
        if (event == Event::Purge)
            return LinkStatus::Ok;
        if (event == Event::HostAbsent) {
            if (Clock::now() >= deadline)
                return LinkStatus::TimedOut;
            if (!WaitForSlaveOpen(deadline))
                return LinkStatus::Stopped;
        }
        return std::nullopt;
    });
}

LinkStatus UartPty::Receive(std::span<std::uint8_t> into, milliseconds timeout) {
    if (pending_.size() < into.size()) {
        const LinkStatus status =
            ReadUntil(Clock::now() + timeout, [&](Event event) -> std::optional<LinkStatus> {
                if (event == Event::HostAbsent)
                    return LinkStatus::Gone;
                if (pending_.size() >= into.size())
                    return LinkStatus::Ok;
                return std::nullopt;
            });
        if (status != LinkStatus::Ok)
            return status;
    }
    lastArrival_ = pendingSince_;
    std::copy_n(pending_.begin(), into.size(), into.begin());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(into.size()));
    if (!pending_.empty())
        pendingSince_ = Clock::now();
    return LinkStatus::Ok;
}

LinkStatus UartPty::Send(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        if (master_ < 0)
            return LinkStatus::Stopped;
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EIO)
            return LinkStatus::Gone;
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return LinkStatus::Failed;
        std::array<pollfd, 2> fds{{{master_, POLLOUT, 0}, {wake_, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return LinkStatus::Failed;
        if (fds[1].revents != 0)
            return LinkStatus::Stopped;
        if ((fds[0].revents & POLLHUP) != 0)
            return LinkStatus::Gone;
    }
    return LinkStatus::Ok;
}

LinkStatus UartPty::WaitForHostClose(milliseconds timeout) {
    return ReadUntil(Clock::now() + timeout, [this](Event event) -> std::optional<LinkStatus> {
        if (event != Event::HostAbsent)
            return std::nullopt;
        pending_.clear();
        return LinkStatus::Ok;
    });
}

} // namespace marlow::emulators
