#include "cli/device_sources.h"

#include "usb/libusb_device_source.h"
#include "usb/usb_ids.h"
#include "usb/virtual_bus_source.h"

namespace marlow::cli {

std::unique_ptr<usb::DeviceSource>
MakePdaDeviceSource(const std::string& busPath, const std::string& busGroup, std::string* error) {
    if (!busPath.empty())
        return std::make_unique<usb::VirtualBusSource>(busPath, busGroup);
    std::optional<std::vector<usb::UsbId>> ids =
        usb::ParsePdaUsbIds(usb::ReadPdaUsbIdsSetting(), error);
    if (!ids)
        return nullptr;
    return std::make_unique<usb::LibusbDeviceSource>(std::move(*ids));
}

} // namespace marlow::cli
