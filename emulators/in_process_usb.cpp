#include "emulators/in_process_usb.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace marlow::emulators {

using usb::TransferStatus;

using Clock = std::chrono::steady_clock;

struct InProcessUsbLink {
    struct PendingReply {
        std::uint8_t byte;
        Clock::time_point due;
    };

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool connected = true;
    bool interrupted = false;
    bool hostReading = false;
    int openCount = 0;
    std::deque<PendingReply> replies;
    std::deque<std::vector<std::uint8_t>> transfers;

    // Serializes handler calls without holding `mutex`, so a handler may
    // reply or leave the bus.
    std::mutex handlerMutex;
    InProcessUsbDevice::TransferHandler handler;
};

void InProcessUsbDevice::SetTransferHandler(TransferHandler handler) {
    std::lock_guard lock(link_->handlerMutex);
    link_->handler = std::move(handler);
}

std::optional<std::vector<std::uint8_t>> InProcessUsbDevice::NextTransfer() {
    std::unique_lock lock(link_->mutex);
    link_->changed.wait(lock, [&] { return !link_->transfers.empty() || !link_->connected; });
    if (link_->transfers.empty())
        return std::nullopt;
    std::vector<std::uint8_t> transfer = std::move(link_->transfers.front());
    link_->transfers.pop_front();
    return transfer;
}

void InProcessUsbDevice::Reply(std::span<const std::uint8_t> bytes,
                               std::chrono::milliseconds delay) {
    std::lock_guard lock(link_->mutex);
    if (!link_->connected)
        return;
    const Clock::time_point due = Clock::now() + delay;
    for (const std::uint8_t byte : bytes)
        link_->replies.push_back({byte, due});
    link_->changed.notify_all();
}

void InProcessUsbDevice::Disconnect() {
    std::lock_guard lock(link_->mutex);
    link_->connected = false;
    link_->replies.clear();
    link_->changed.notify_all();
}

bool InProcessUsbDevice::Connected() const {
    std::lock_guard lock(link_->mutex);
    return link_->connected;
}

bool InProcessUsbDevice::WaitForHostReading() {
    std::unique_lock lock(link_->mutex);
    link_->changed.wait(
        lock, [&] { return !link_->connected || (link_->hostReading && link_->replies.empty()); });
    return link_->connected;
}

int InProcessUsbDevice::OpenCount() const {
    std::lock_guard lock(link_->mutex);
    return link_->openCount;
}

InProcessUsbHost::InProcessUsbHost(std::shared_ptr<InProcessUsbLink> link, std::string description,
                                   std::string devicePath)
    : link_(std::move(link)), description_(std::move(description)),
      devicePath_(std::move(devicePath)) {}

Status InProcessUsbHost::Open() {
    std::lock_guard lock(link_->mutex);
    if (!link_->connected)
        return Failure{"the device has left the bus"};
    link_->open = true;
    link_->interrupted = false;
    ++link_->openCount;
    return {};
}

void InProcessUsbHost::Close() {
    std::lock_guard lock(link_->mutex);
    link_->open = false;
    link_->changed.notify_all();
}

bool InProcessUsbHost::IsOpen() const {
    std::lock_guard lock(link_->mutex);
    return link_->open;
}

TransferStatus InProcessUsbHost::Write(std::span<const std::uint8_t> packet) {
    {
        std::lock_guard lock(link_->mutex);
        if (link_->interrupted)
            return TransferStatus::Stopped;
        if (!link_->connected)
            return TransferStatus::Disconnected;
        if (!link_->open)
            return TransferStatus::Failed;
    }
    std::lock_guard handlerLock(link_->handlerMutex);
    if (link_->handler) {
        link_->handler(packet);
        return TransferStatus::Ok;
    }
    std::lock_guard lock(link_->mutex);
    link_->transfers.emplace_back(packet.begin(), packet.end());
    link_->changed.notify_all();
    return TransferStatus::Ok;
}

TransferStatus InProcessUsbHost::ReadByte(std::uint8_t& out) {
    std::unique_lock lock(link_->mutex);
    bool waited = false;
    for (;;) {
        if (link_->interrupted)
            break;
        if (!link_->connected) {
            link_->hostReading = false;
            return waited ? TransferStatus::Failed : TransferStatus::Disconnected;
        }
        if (!link_->open)
            break;
        if (!link_->replies.empty() && link_->replies.front().due <= Clock::now()) {
            out = link_->replies.front().byte;
            link_->replies.pop_front();
            link_->hostReading = false;
            return TransferStatus::Ok;
        }
        waited = true;
        link_->hostReading = true;
        link_->changed.notify_all();
        if (link_->replies.empty())
            link_->changed.wait(lock);
        else
            link_->changed.wait_until(lock, link_->replies.front().due);
    }
    link_->hostReading = false;
    return link_->interrupted ? TransferStatus::Stopped : TransferStatus::Failed;
}

void InProcessUsbHost::Interrupt() {
    std::lock_guard lock(link_->mutex);
    link_->interrupted = true;
    link_->changed.notify_all();
}

void InProcessUsbHost::ClearInterrupt() {
    std::lock_guard lock(link_->mutex);
    link_->interrupted = false;
}

InProcessUsbPair MakeInProcessUsbPair(std::string description, std::string devicePath) {
    auto link = std::make_shared<InProcessUsbLink>();
    InProcessUsbPair pair;
    pair.host =
        std::make_unique<InProcessUsbHost>(link, std::move(description), std::move(devicePath));
    pair.device = std::make_shared<InProcessUsbDevice>(link);
    return pair;
}

} // namespace marlow::emulators
