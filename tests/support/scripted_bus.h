#pragma once
// A device bus that a test, or the screenshot tool, plugs devices into by
// hand: nothing arrives or leaves unless it says so.

#include "usb/device_source.h"

#include <memory>
#include <string>

namespace marlow::test {

class ScriptedBus : public usb::DeviceSource {
public:
    Status Start(usb::DeviceEvents events) override {
        events_ = std::move(events);
        return {};
    }
    void Stop() override {}
    void Plug(std::unique_ptr<usb::UsbTransport> device) { events_.arrived(std::move(device)); }
    void Unplug(const std::string& path) { events_.removed(path); }
    void Complain(const std::string& text) { events_.problem(text); }
    void AttachedBeforeStart(const std::string& description) {
        events_.alreadyAttached(description);
    }

private:
    usb::DeviceEvents events_;
};

} // namespace marlow::test
