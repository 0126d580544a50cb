#pragma once
// Real handsets: libusb hot-plug events (or, where the platform has none, a
// look at the device list once a second) for the devices whose ids are in
// "PdaUsbIds". Events are pumped on the source's own thread. A handset that
// was plugged in before the start is left alone until it is plugged in again
// (a download nobody asked for could otherwise start), unless the caller
// serves attached handsets, as the command line does.

#include "usb/device_source.h"
#include "usb/usb_ids.h"

#include <chrono>
#include <memory>
#include <vector>

namespace marlow::usb {

class LibusbDeviceSource final : public DeviceSource {
public:
    struct Options {
        std::chrono::milliseconds pollInterval{1000};
        // Look at the device list even where hot-plug events exist.
        bool forcePolling = false;
        // Devices present at the start count as arrivals.
        bool serveAttached = false;
    };

    explicit LibusbDeviceSource(std::vector<UsbId> ids);
    LibusbDeviceSource(std::vector<UsbId> ids, Options options);
    ~LibusbDeviceSource() override;
    LibusbDeviceSource(const LibusbDeviceSource&) = delete;
    LibusbDeviceSource& operator=(const LibusbDeviceSource&) = delete;

    Status Start(DeviceEvents events) override;
    // Not from inside an event callback (it waits for the thread that runs
    // them). Transports handed out stay usable.
    void Stop() override;

    // After Start: false when the device list is being polled instead.
    bool UsesHotplugEvents() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace marlow::usb
