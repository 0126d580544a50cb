#pragma once
// Where PDA boot-loader devices come from: libusb hot-plug, the virtual USB
// bus, or a test. A source reports arrivals and removals on its own thread;
// the watcher hands them to its owner's thread.

#include "common/result.h"
#include "usb/usb_transport.h"

#include <functional>
#include <memory>
#include <string>

namespace marlow::usb {

struct DeviceEvents {
    // A device arrived; the transport is not opened yet.
    std::function<void(std::unique_ptr<UsbTransport>)> arrived;
    // The device with this path has gone.
    std::function<void(const std::string& devicePath)> removed;
    // A device was refused or cut off (garbage on the virtual bus, a
    // description too long...); the text says which and why. Comes on the
    // source's thread, or on the thread whose read found the garbage. May be
    // empty.
    std::function<void(const std::string& text)> problem;
    // A device that was plugged in before the source started, described; a
    // source that leaves such devices alone says so once for each, and
    // reports it as an arrival only when it is plugged in again. May be
    // empty.
    std::function<void(const std::string& description)> alreadyAttached;
};

class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    // Begins reporting arrivals from now on; whether devices already present
    // count as arrivals is the source's own rule.
    virtual Status Start(DeviceEvents events) = 0;
    virtual void Stop() = 0;
};

} // namespace marlow::usb
