#pragma once
// The Unix-socket plumbing of the virtual USB bus: owned descriptors, a
// wake-up signal that cuts any wait short, waits that honour it, and the
// listening and connecting ends of a socket path.

#include "common/result.h"

#include <cstdint>
#include <span>
#include <string>
#include <sys/uio.h>

namespace marlow::usb {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// An eventfd that stays readable from Signal until Clear, so a waiter that
// arrives late still sees it.
class WakeSignal {
public:
    WakeSignal();
    void Signal();
    void Clear();
    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

enum class WaitResult { Ready, Woken, Failed };
// Waits until `fd` has one of `events` (POLLIN, POLLOUT...) or the signal
// fires. A hang-up or error on `fd` counts as Ready: the next read or write
// tells what happened.
WaitResult WaitFor(int fd, short events, const WakeSignal& wake);

enum class SendResult { Sent, Woken, PeerGone, Failed };
// All of `head` and then all of `body` on a non-blocking socket, gathered
// into as few sends as the socket takes, waiting for room as needed.
SendResult SendAll(int fd, std::span<const std::uint8_t> head, std::span<const std::uint8_t> body,
                   const WakeSignal& wake);
inline SendResult SendAll(int fd, std::span<const std::uint8_t> bytes, const WakeSignal& wake) {
    return SendAll(fd, bytes, {}, wake);
}
// The same for any number of places in order (the places are used up as
// they go out); `sentBytes` says how many bytes went, also on a failure.
SendResult SendGathered(int fd, std::span<iovec> parts, const WakeSignal& wake,
                        std::size_t& sentBytes);

enum class ReceiveResult { Got, PeerGone, Woken, Failed };
// Some bytes into `room` from a non-blocking socket, waiting for them as
// needed; on Got, `count` says how many. With `drained` (the last receive
// came back short, so the socket is empty) it waits first, which saves the
// receive that would only say "nothing yet".
ReceiveResult ReceiveSome(int fd, std::span<std::uint8_t> room, bool drained,
                          const WakeSignal& wake, std::size_t& count);

bool SetNonBlocking(int fd);

// Listens on `path`, which appears only once the socket accepts
// connections. A socket file left behind by a listener that has gone is
// replaced; a path that a live listener serves, or that is not a socket, is
// refused with a reason. Whatever the umask, the socket file is the owner's
// alone (0600), or with `group` named shared with that group (0660), before
// the first client can connect.
Result<UniqueFd> ListenOnSocketPath(const std::string& path, const std::string& group);
Result<UniqueFd> ConnectToSocketPath(const std::string& path);

} // namespace marlow::usb
