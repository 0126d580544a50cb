#include "emulators/in_process_uart.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace marlow::emulators {

using uartloader::LineSettings;
using uartloader::PortOpened;
using uartloader::UartTransport;

using std::chrono::milliseconds;

struct InProcessUartLink::State {
    mutable std::mutex mutex;
    std::condition_variable changed;

    std::deque<std::uint8_t> toDevice;
    std::deque<std::uint8_t> toHost;
    bool hostOpen = false;
    unsigned hostOpenings = 0;
    unsigned openingsSeenByDevice = 0;
    bool deviceGone = false;
    bool deviceStopped = false;

    std::size_t hostConsumed = 0;
    std::vector<HostWrite> hostWrites;
    std::vector<HostRead> hostReads;

    void Notify() { changed.notify_all(); }
};

namespace {

void TakeFront(std::deque<std::uint8_t>& queue, std::span<std::uint8_t> into) {
    std::copy_n(queue.begin(), into.size(), into.begin());
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(into.size()));
}

class HostEnd final : public UartTransport {
public:
    HostEnd(std::shared_ptr<InProcessUartLink::State> state, std::string portName)
        : state_(std::move(state)), portName_(std::move(portName)) {}
    ~HostEnd() override { Close(); }

    Result<PortOpened> Open(const LineSettings&) override {
        std::lock_guard lock(state_->mutex);
        if (connected_)
            return PortOpened{};
        if (state_->deviceGone)
            return Failure{portName_ + ": no device on the in-process link"};
        state_->toDevice.clear();
        state_->toHost.clear();
        state_->hostOpen = true;
        ++state_->hostOpenings;
        connected_ = true;
        stopRequested_ = false;
        state_->Notify();
        return PortOpened{};
    }

    void Close() override {
        std::lock_guard lock(state_->mutex);
        if (!connected_)
            return;
        connected_ = false;
        state_->hostOpen = false;
        state_->Notify();
    }

    bool IsOpen() const override {
        std::lock_guard lock(state_->mutex);
        return connected_ && !stopRequested_;
    }

    void RequestClose() override {
        std::lock_guard lock(state_->mutex);
        stopRequested_ = true;
        state_->Notify();
    }

    LinkStatus ReceiveData(std::span<std::uint8_t> into, milliseconds timeout) override {
        std::unique_lock lock(state_->mutex);
        const LinkStatus status = WaitForBytes(lock, into.size(), timeout);
        if (status == LinkStatus::Ok) {
            TakeFront(state_->toHost, into);
            state_->hostConsumed += into.size();
        }
        state_->hostReads.push_back({into.size(), timeout, status});
        return status;
    }

    LinkStatus TransmitData(std::span<const std::uint8_t> bytes) override {
        std::lock_guard lock(state_->mutex);
        if (!connected_ || stopRequested_)
            return LinkStatus::Stopped;
        if (state_->deviceGone)
            return LinkStatus::Gone;
        state_->hostWrites.push_back({{bytes.begin(), bytes.end()}, state_->hostConsumed});
        state_->toDevice.insert(state_->toDevice.end(), bytes.begin(), bytes.end());
        state_->Notify();
        return LinkStatus::Ok;
    }

    std::string PortName() const override { return portName_; }

private:
    LinkStatus WaitForBytes(std::unique_lock<std::mutex>& lock, std::size_t count,
                            milliseconds timeout) {
        LinkStatus status = LinkStatus::TimedOut;
        state_->changed.wait_for(lock, timeout, [&] {
            if (!connected_ || stopRequested_)
                status = LinkStatus::Stopped;
            else if (state_->toHost.size() >= count)
                status = LinkStatus::Ok;
            else if (state_->deviceGone)
                status = LinkStatus::Gone;
            else
                return false;
            return true;
        });
        return status;
    }

    std::shared_ptr<InProcessUartLink::State> state_;
    std::string portName_;
    bool connected_ = false; // guarded by the link's mutex
    bool stopRequested_ = false;
};

} // namespace

InProcessUartLink::InProcessUartLink() : state_(std::make_shared<State>()) {}

InProcessUartLink::~InProcessUartLink() {
    StopDevice();
}

std::unique_ptr<UartTransport> InProcessUartLink::MakeHostEnd(std::string portName) {
    return std::make_unique<HostEnd>(state_, std::move(portName));
}

LinkStatus InProcessUartLink::DeviceWaitForHostOpen(milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    const bool opened = state_->changed.wait_for(lock, timeout, [&] {
        return state_->deviceStopped || state_->hostOpenings > state_->openingsSeenByDevice;
    });
    if (state_->deviceStopped)
        return LinkStatus::Stopped;
    if (!opened)
        return LinkStatus::TimedOut;
    state_->openingsSeenByDevice = state_->hostOpenings;
    return LinkStatus::Ok;
}

LinkStatus InProcessUartLink::DeviceReceive(std::span<std::uint8_t> into, milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    LinkStatus status = LinkStatus::TimedOut;
    state_->changed.wait_for(lock, timeout, [&] {
        if (state_->deviceStopped || state_->deviceGone)
            status = LinkStatus::Stopped;
        else if (state_->hostOpenings != state_->openingsSeenByDevice)
            status = LinkStatus::Gone; // the tool closed and opened again: a new session
        else if (state_->toDevice.size() >= into.size())
            status = LinkStatus::Ok;
        else if (!state_->hostOpen)
            status = LinkStatus::Gone;
        else
            return false;
        return true;
    });
    if (status == LinkStatus::Ok)
        TakeFront(state_->toDevice, into);
    return status;
}

LinkStatus InProcessUartLink::DeviceSend(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    if (state_->deviceStopped || state_->deviceGone)
        return LinkStatus::Stopped;
    if (!state_->hostOpen || state_->hostOpenings != state_->openingsSeenByDevice)
        return LinkStatus::Gone;
    state_->toHost.insert(state_->toHost.end(), bytes.begin(), bytes.end());
    state_->Notify();
    return LinkStatus::Ok;
}

void InProcessUartLink::DeviceHangup() {
    std::lock_guard lock(state_->mutex);
    state_->deviceGone = true;
    state_->Notify();
}

void InProcessUartLink::DeviceSendAndHangup(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    state_->toHost.insert(state_->toHost.end(), bytes.begin(), bytes.end());
    state_->deviceGone = true;
    state_->Notify();
}

void InProcessUartLink::StopDevice() {
    std::lock_guard lock(state_->mutex);
    state_->deviceStopped = true;
    state_->Notify();
}

std::vector<InProcessUartLink::HostWrite> InProcessUartLink::HostWrites() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostWrites;
}

std::vector<InProcessUartLink::HostRead> InProcessUartLink::HostReads() const {
    std::lock_guard lock(state_->mutex);
    return state_->hostReads;
}

} // namespace marlow::emulators
