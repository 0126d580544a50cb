#include "phone/directory_watch.h"

#if defined(__linux__)

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace marlow::phone {
namespace {

// Appearing, going and re-permissioned entries only. Writes and closes are
// left out on purpose: in /dev every write to /dev/null would wake us.
constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

Result<std::unique_ptr<DirectoryWatch>> DirectoryWatch::Start(const std::string& folder,
                                                              Changed changed, Hear hear) {
    const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0)
        return Failure{std::string("cannot watch for new ports: ") + std::strerror(errno)};
    if (::inotify_add_watch(inotifyFd, folder.c_str(),
                            hear == Hear::Writes ? kEvents | IN_MODIFY : kEvents) < 0) {
        Failure failure{"cannot watch " + folder + ": " + std::strerror(errno)};
        ::close(inotifyFd);
        return failure;
    }
    const int stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd < 0) {
        Failure failure{std::string("cannot watch for new ports: ") + std::strerror(errno)};
        ::close(inotifyFd);
        return failure;
    }
    return std::unique_ptr<DirectoryWatch>(
        new DirectoryWatch(inotifyFd, stopFd, std::move(changed)));
}

DirectoryWatch::DirectoryWatch(int inotifyFd, int stopFd, Changed changed)
    : inotifyFd_(inotifyFd), stopFd_(stopFd), changed_(std::move(changed)) {
    thread_ = std::thread([this] { Run(); });
}

DirectoryWatch::~DirectoryWatch() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(inotifyFd_);
    ::close(stopFd_);
}

void DirectoryWatch::Run() {
    for (;;) {
        pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (fds[1].revents != 0)
            return;
        if (ready < 0 || !DeliverEvents()) {
            healthy_ = false;
            changed_(std::nullopt);
            return;
        }
    }
}

// False when the watch cannot go on.
bool DirectoryWatch::DeliverEvents() {
    alignas(inotify_event) std::array<char, 16 * 1024> buffer;
    for (;;) {
        const ssize_t got = ::read(inotifyFd_, buffer.data(), buffer.size());
        if (got < 0)
            return errno == EAGAIN || errno == EINTR;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer.data() + at, sizeof event);
            const char* name = buffer.data() + at + sizeof event;
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
                return false;
            if (event.mask & IN_Q_OVERFLOW)
                changed_(std::nullopt);
            else if (event.len > 0)
                changed_(std::string(name, ::strnlen(name, event.len)));
        }
    }
}

} // namespace marlow::phone

#else

namespace marlow::phone {

Result<std::unique_ptr<DirectoryWatch>> DirectoryWatch::Start(const std::string&, Changed, Hear) {
    return Failure{"this system cannot watch folders"};
}

DirectoryWatch::~DirectoryWatch() = default;

} // namespace marlow::phone

#endif
