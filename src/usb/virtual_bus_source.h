#pragma once
// The virtual USB bus: Marlow listens on a Unix stream socket path; every
// connection is one device arriving, and its end is that device's removal.
// A device first sends its description as one frame; only then does it
// count as arrived. See docs/virtual-usb-bus.md.

#include "usb/device_source.h"
#include "usb/virtual_bus_socket.h"

#include <atomic>
#include <string>
#include <thread>

namespace marlow::usb {

class VirtualBusSource final : public DeviceSource {
public:
    // The socket file is the owner's alone, or shared with `group` when one
    // is named (for rigs that run devices under another user).
    explicit VirtualBusSource(std::string socketPath, std::string group = {});
    ~VirtualBusSource() override;
    VirtualBusSource(const VirtualBusSource&) = delete;
    VirtualBusSource& operator=(const VirtualBusSource&) = delete;

    // Refuses a path that another live listener serves.
    Status Start(DeviceEvents events) override;
    // Stops accepting and removes the socket file. Devices already handed
    // out keep their connections until their transports let go. Not from
    // inside an event callback (it waits for the thread that runs them).
    void Stop() override;

    const std::string& SocketPath() const { return socketPath_; }

private:
    std::string socketPath_;
    std::string group_;
    UniqueFd listener_;
    WakeSignal stop_;
    std::thread thread_;
    // Which socket file is ours to remove on Stop.
    unsigned long long socketInode_ = 0;
};

} // namespace marlow::usb
