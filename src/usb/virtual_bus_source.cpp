#include "usb/virtual_bus_source.h"

#include "usb/virtual_bus_frame.h"
#include "usb/virtual_bus_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace marlow::usb {
namespace {

// A connection that has not described itself yet.
struct Newcomer {
    UniqueFd socket;
    std::string devicePath;
    FrameDecoder received{kVirtualBusMaxDescription};
};

// While the process is out of descriptors the listener stays readable, so
// accepting pauses until one of the bus's own descriptors is freed, with a
// slow retry for those freed elsewhere in the process.
constexpr int kShortageRetryMs = 1000;

// The accept loop's bookkeeping, on the source's own thread only.
class Bus {
public:
    Bus(std::string path, int listener, const WakeSignal& stop, DeviceEvents events)
        : path_(std::move(path)), listener_(listener), stop_(stop), events_(std::move(events)) {}

    void Run() {
        for (;;) {
            WatchList();
            const int ready = ::poll(fds_.data(), fds_.size(), paused_ ? kShortageRetryMs : -1);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                Report("Virtual USB bus stopped listening: poll failed");
                return;
            }
            if (fds_[kStopIndex].revents != 0)
                return;
            // Newcomers and devices are served before new connections are
            // accepted so that the poll entries still match the lists.
            const std::span<const pollfd> watched(fds_);
            ServeDevices(watched.subspan(kFirstConnectionIndex + newcomers_.size()));
            ServeNewcomers(watched.subspan(kFirstConnectionIndex, newcomers_.size()));
            const bool freed = (fds_[kFreedIndex].revents & POLLIN) != 0;
            if (freed)
                freed_->Clear();
            if (paused_ && (freed || ready == 0))
                paused_ = false;
            if (!paused_ && (fds_[kListenerIndex].revents & POLLIN) != 0)
                AcceptAll();
        }
    }

private:
    static constexpr std::size_t kStopIndex = 0;
    static constexpr std::size_t kFreedIndex = 1;
    static constexpr std::size_t kListenerIndex = 2;
    static constexpr std::size_t kFirstConnectionIndex = 3;

    void WatchList() {
        fds_.clear();
        fds_.push_back({stop_.Fd(), POLLIN, 0});
        fds_.push_back({freed_->Fd(), POLLIN, 0});
        // A paused listener is still watched, for nothing: that keeps the
        // entries in place and costs no wake-ups.
        fds_.push_back({listener_, static_cast<short>(paused_ ? 0 : POLLIN), 0});
        for (const auto& newcomer : newcomers_)
            fds_.push_back({newcomer->socket.Get(), POLLIN, 0});
        for (const auto& device : devices_)
            fds_.push_back({device->socket.Get(), POLLRDHUP, 0});
    }

    void AcceptAll() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                auto newcomer = std::make_unique<Newcomer>();
                newcomer->socket.Reset(fd);
                newcomer->devicePath = "bus:" + std::to_string(++connections_);
                newcomers_.push_back(std::move(newcomer));
                continue;
            }
            if (errno == EINTR || errno == ECONNABORTED) // the peer gave up already
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                return PauseAccepting(errno);
            shortageReported_ = false; // EAGAIN: everybody waiting is in
            return;
        }
    }

    void PauseAccepting(int reason) {
        paused_ = true;
        if (shortageReported_)
            return;
        shortageReported_ = true;
        Report("Virtual USB bus " + path_ + " cannot accept more devices: " +
               std::strerror(reason) + " (" + std::to_string(newcomers_.size() + devices_.size()) +
               " connections open); new devices wait until a descriptor is freed. Disconnect "
               "idle devices or raise the limit (ulimit -n)");
    }

    void ServeNewcomers(std::span<const pollfd> fds) {
        std::vector<std::unique_ptr<Newcomer>> waiting;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            const bool settled = fds[i].revents != 0 && Welcome(newcomers_[i]);
            if (!settled)
                waiting.push_back(std::move(newcomers_[i]));
        }
        newcomers_ = std::move(waiting);
    }

    // True when the newcomer is settled, as a device or refused; either way
    // it is then reset.
    bool Welcome(std::unique_ptr<Newcomer>& newcomer) {
        const std::span<std::uint8_t> room = newcomer->received.Space(kDescriptionReadSize);
        const ssize_t got = ::recv(newcomer->socket.Get(), room.data(), room.size(), 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return false;
        if (got <= 0)
            return Refuse(newcomer, " disconnected before it sent its description");
        newcomer->received.Commit(static_cast<std::size_t>(got));
        std::span<const std::uint8_t> description;
        switch (newcomer->received.Next(description)) {
        case FrameDecoder::Status::NeedMore:
            return false;
        case FrameDecoder::Status::Oversized:
            return Refuse(newcomer, " announced a description of " +
                                        std::to_string(newcomer->received.AnnouncedLength()) +
                                        " bytes (at most " +
                                        std::to_string(kVirtualBusMaxDescription) +
                                        " allowed); disconnected as garbage");
        case FrameDecoder::Status::Frame:
            break;
        }
        Result<VirtualDeviceDescription> said = ParseDescription(description);
        if (!said)
            return Refuse(newcomer, said.Error());
        Arrive(std::move(*newcomer), std::move(*said));
        newcomer.reset();
        return true;
    }

    bool Refuse(std::unique_ptr<Newcomer>& newcomer, const std::string& why) {
        Report("Virtual USB device " + newcomer->devicePath + why);
        newcomer.reset();
        freed_->Signal();
        return true;
    }

    void Arrive(Newcomer&& newcomer, VirtualDeviceDescription description) {
        auto link = std::make_shared<VirtualBusLink>();
        link->socket = std::move(newcomer.socket);
        link->devicePath = std::move(newcomer.devicePath);
        link->description = std::move(description.text);
        link->portPath = std::move(description.portPath);
        link->serialNumber = std::move(description.serialNumber);
        link->received = std::move(newcomer.received);
        link->received.SetMaxFrameLength(kVirtualBusMaxFrame);
        link->problem = events_.problem;
        link->released = [freed = freed_] { freed->Signal(); };
        devices_.push_back(link);
        if (events_.arrived)
            events_.arrived(std::make_unique<VirtualBusTransport>(link));
    }

    void ServeDevices(std::span<const pollfd> fds) {
        std::vector<std::shared_ptr<VirtualBusLink>> present;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                present.push_back(std::move(devices_[i]));
                continue;
            }
            if (events_.removed)
                events_.removed(devices_[i]->devicePath);
        }
        devices_ = std::move(present);
    }

    void Report(const std::string& text) {
        if (events_.problem)
            events_.problem(text);
    }

    // A description is one short line; anything read past it is kept for
    // the device's transport.
    static constexpr std::size_t kDescriptionReadSize = 4096;

    std::string path_;
    int listener_;
    const WakeSignal& stop_;
    DeviceEvents events_;
    // Told whenever a bus descriptor closes, also by links that outlive the bus.
    std::shared_ptr<WakeSignal> freed_ = std::make_shared<WakeSignal>();
    bool paused_ = false;
    bool shortageReported_ = false;
    std::vector<pollfd> fds_;
    std::vector<std::unique_ptr<Newcomer>> newcomers_;
    std::vector<std::shared_ptr<VirtualBusLink>> devices_;
    unsigned connections_ = 0;
};

unsigned long long InodeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

VirtualBusSource::VirtualBusSource(std::string socketPath, std::string group)
    : socketPath_(std::move(socketPath)), group_(std::move(group)) {}

VirtualBusSource::~VirtualBusSource() {
    Stop();
}

Status VirtualBusSource::Start(DeviceEvents events) {
    if (thread_.joinable())
        return Failure{"The virtual USB bus on " + socketPath_ + " is already listening"};
    Result<UniqueFd> listener = ListenOnSocketPath(socketPath_, group_);
    if (!listener)
        return Failure{listener.Error()};
    listener_ = std::move(*listener);
    socketInode_ = InodeOf(socketPath_);
    stop_.Clear();
    // Made here, so that everything the bus holds exists once Start returns.
    auto bus = std::make_unique<Bus>(socketPath_, listener_.Get(), stop_, std::move(events));
    thread_ = std::thread([bus = std::move(bus)] { bus->Run(); });
    return {};
}

void VirtualBusSource::Stop() {
    if (!thread_.joinable())
        return;
    stop_.Signal();
    thread_.join();
    listener_.Reset();
    // Only our own socket file: a newer listener may have taken the path.
    if (socketInode_ != 0 && InodeOf(socketPath_) == socketInode_)
        ::unlink(socketPath_.c_str());
    socketInode_ = 0;
}

} // namespace marlow::usb
