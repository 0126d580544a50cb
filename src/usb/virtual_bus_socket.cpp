#include "usb/virtual_bus_socket.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace marlow::usb {
namespace {

std::string SystemError(int code) {
    return std::strerror(code);
}

Result<sockaddr_un> MakeAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path))
        return Failure{"Virtual USB bus socket path \"" + path + "\" must be 1 to " +
                       std::to_string(sizeof(address.sun_path) - 1) + " bytes long"};
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

Result<UniqueFd> NewStreamSocket() {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return Failure{"Cannot create a Unix socket: " + SystemError(errno)};
    return fd;
}

int Connect(int fd, const sockaddr_un& address) {
    int result = 0;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

int Bind(int fd, const sockaddr_un& address) {
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 ? 0
                                                                                         : errno;
}

// Called when binding found the path taken: succeeds when it was a leftover
// socket that has now been removed.
Status ClearLeftoverSocket(const std::string& path, const sockaddr_un& address) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) // gone meanwhile: try again
        return {};
    if (!S_ISSOCK(status.st_mode))
        return Failure{"Virtual USB bus path " + path +
                       " exists and is not a socket; "
                       "choose another path"};
    Result<UniqueFd> probe = NewStreamSocket();
    if (!probe)
        return Failure{probe.Error()};
    const int refused = Connect(probe->Get(), address);
    if (refused == 0)
        return Failure{"Virtual USB bus path " + path +
                       " is already served by another listener (is another Marlow "
                       "running?); stop it or choose another path"};
    if (refused != ECONNREFUSED)
        return Failure{"Cannot check virtual USB bus path " + path + ": " + SystemError(refused)};
    ::unlink(path.c_str());
    return {};
}

std::optional<gid_t> GroupId(const std::string& name) {
    std::vector<char> scratch(4096);
    for (;;) {
        group entry{};
        group* found = nullptr;
        const int failed =
            ::getgrnam_r(name.c_str(), &entry, scratch.data(), scratch.size(), &found);
        if (failed == ERANGE && scratch.size() < (1u << 20)) {
            scratch.resize(scratch.size() * 2);
            continue;
        }
        if (failed != 0 || found == nullptr)
            return std::nullopt;
        return found->gr_gid;
    }
}

// Runs on the socket's temporary name, before it listens and before the
// bus path names it: connecting needs write permission on the file, so no
// client ever meets a looser mode than the one set here, whatever the umask
// made of it. The file is the one just bound; whoever could swap entries in
// its folder could replace the socket outright, so it is not checked again.
Status RestrictAccess(const std::string& file, const std::string& path, std::optional<gid_t> group,
                      const std::string& groupName) {
    mode_t mode = S_IRUSR | S_IWUSR;
    if (group) {
        if (::lchown(file.c_str(), static_cast<uid_t>(-1), *group) != 0)
            return Failure{"Cannot give virtual USB bus path " + path + " to group " + groupName +
                           ": " + SystemError(errno) +
                           "; run as a member of that group or name another"};
        mode |= S_IRGRP | S_IWGRP;
    }
    if (::chmod(file.c_str(), mode) != 0)
        return Failure{"Cannot restrict access to virtual USB bus path " + path + ": " +
                       SystemError(errno)};
    return {};
}

// The name a listener's socket has while it is made ready: in the bus
// path's folder, so that the path can then be linked to it, and unique in
// this process.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> made{0};
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + ".bus" + std::to_string(::getpid()) + "-" + std::to_string(made++);
}

// Gives the listening socket its bus path, which never names it before it
// listens, and never replaces a path that a live listener serves or that
// is no socket (a hard link, unlike a rename, refuses an existing name).
Status Publish(const std::string& temporary, const std::string& path, const sockaddr_un& address) {
    int linked = ::link(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
    if (linked == EEXIST) {
        if (const Status cleared = ClearLeftoverSocket(path, address); !cleared)
            return cleared;
        linked = ::link(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
    }
    if (linked != 0)
        return Failure{"Cannot listen on virtual USB bus path " + path + ": " +
                       SystemError(linked)};
    return {};
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other)
        Reset(other.Release());
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeSignal::Signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd_.Get(), &one, sizeof(one));
}

void WakeSignal::Clear() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(fd_.Get(), &count, sizeof(count));
}

WaitResult WaitFor(int fd, short events, const WakeSignal& wake) {
    std::array<pollfd, 2> fds{pollfd{wake.Fd(), POLLIN, 0}, pollfd{fd, events, 0}};
    for (;;) {
        const int ready = ::poll(fds.data(), fds.size(), -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (fds[0].revents & POLLNVAL) != 0 || (fds[1].revents & POLLNVAL) != 0)
            return WaitResult::Failed;
        if ((fds[0].revents & POLLIN) != 0)
            return WaitResult::Woken;
        if ((fds[1].revents & (events | POLLHUP | POLLERR)) != 0)
            return WaitResult::Ready;
    }
}

SendResult SendGathered(int fd, std::span<iovec> parts, const WakeSignal& wake,
                        std::size_t& sentBytes) {
    sentBytes = 0;
    // A kernel takes at most IOV_MAX places a call; what is left goes next.
    constexpr std::size_t kMaxPlaces = 1024;
    while (!parts.empty()) {
        msghdr message{};
        message.msg_iov = parts.data();
        message.msg_iovlen = std::min(parts.size(), kMaxPlaces);
        const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent >= 0) {
            auto count = static_cast<std::size_t>(sent);
            sentBytes += count;
            // Step over what went; the part it stopped in keeps its rest.
            while (!parts.empty() && count >= parts.front().iov_len) {
                count -= parts.front().iov_len;
                parts = parts.subspan(1);
            }
            if (count > 0) {
                parts.front().iov_base = static_cast<std::uint8_t*>(parts.front().iov_base) + count;
                parts.front().iov_len -= count;
            }
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN)
            return SendResult::PeerGone;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return SendResult::Failed;
        switch (WaitFor(fd, POLLOUT, wake)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Woken:
            return SendResult::Woken;
        case WaitResult::Failed:
            return SendResult::Failed;
        }
    }
    return SendResult::Sent;
}

SendResult SendAll(int fd, std::span<const std::uint8_t> head, std::span<const std::uint8_t> body,
                   const WakeSignal& wake) {
    std::array<iovec, 2> parts{iovec{const_cast<std::uint8_t*>(head.data()), head.size()},
                               iovec{const_cast<std::uint8_t*>(body.data()), body.size()}};
    std::size_t sentBytes = 0;
    return SendGathered(fd, parts, wake, sentBytes);
}

ReceiveResult ReceiveSome(int fd, std::span<std::uint8_t> room, bool drained,
                          const WakeSignal& wake, std::size_t& count) {
    bool wait = drained;
    for (;;) {
        if (wait) {
            switch (WaitFor(fd, POLLIN, wake)) {
            case WaitResult::Ready:
                break;
            case WaitResult::Woken:
                return ReceiveResult::Woken;
            case WaitResult::Failed:
                return ReceiveResult::Failed;
            }
        }
        const ssize_t got = ::recv(fd, room.data(), room.size(), 0);
        if (got > 0) {
            count = static_cast<std::size_t>(got);
            return ReceiveResult::Got;
        }
        if (got == 0 || errno == ECONNRESET)
            return ReceiveResult::PeerGone;
        wait = errno != EINTR;
        if (wait && errno != EAGAIN && errno != EWOULDBLOCK)
            return ReceiveResult::Failed;
    }
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// The socket is bound to a temporary name, given its mode, set listening,
// and only then linked to the bus path: a device that connects the moment
// the path appears is accepted, never refused.
Result<UniqueFd> ListenOnSocketPath(const std::string& path, const std::string& group) {
    const Result<sockaddr_un> address = MakeAddress(path);
    if (!address)
        return Failure{address.Error()};
    const std::string temporary = TemporaryName(path);
    const Result<sockaddr_un> temporaryAddress = MakeAddress(temporary);
    if (!temporaryAddress)
        return Failure{"Virtual USB bus path " + path +
                       " leaves no room beside it for the name it is prepared under; choose a "
                       "shorter path"};
    std::optional<gid_t> groupId;
    if (!group.empty() && !(groupId = GroupId(group)))
        return Failure{"There is no group " + group + " to share virtual USB bus path " + path +
                       " with; name an existing group"};
    Result<UniqueFd> fd = NewStreamSocket();
    if (!fd)
        return fd;
    int bound = Bind(fd->Get(), *temporaryAddress);
    if (bound == EADDRINUSE) { // left behind by a gone process of the same number
        if (const Status cleared = ClearLeftoverSocket(temporary, *temporaryAddress); !cleared)
            return Failure{cleared.Error()};
        bound = Bind(fd->Get(), *temporaryAddress);
    }
    if (bound != 0)
        return Failure{"Cannot listen on virtual USB bus path " + path + ": " + SystemError(bound)};

    Status ready = RestrictAccess(temporary, path, groupId, group);
    if (ready && (::listen(fd->Get(), SOMAXCONN) != 0 || !SetNonBlocking(fd->Get())))
        ready =
            Failure{"Cannot listen on virtual USB bus path " + path + ": " + SystemError(errno)};
    if (ready)
        ready = Publish(temporary, path, *address);
    ::unlink(temporary.c_str());
    if (!ready)
        return Failure{ready.Error()};
    return fd;
}

Result<UniqueFd> ConnectToSocketPath(const std::string& path) {
    const Result<sockaddr_un> address = MakeAddress(path);
    if (!address)
        return Failure{address.Error()};
    Result<UniqueFd> fd = NewStreamSocket();
    if (!fd)
        return fd;
    const int failed = Connect(fd->Get(), *address);
    if (failed == ENOENT || failed == ECONNREFUSED)
        return Failure{"No virtual USB bus listens on " + path + "; start Marlow's listener first"};
    if (failed != 0)
        return Failure{"Cannot connect to virtual USB bus " + path + ": " + SystemError(failed)};
    return fd;
}

} // namespace marlow::usb
