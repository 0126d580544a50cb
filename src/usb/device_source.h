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
};

class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    // Begins reporting (devices already present count as arrivals).
    virtual Status Start(DeviceEvents events) = 0;
    virtual void Stop() = 0;
};

} // namespace marlow::usb
