#include "cli/support_device_source.h"

#include "hotplug/libusb_device_source.h"
#include "hotplug/usb_ids.h"
#include "hotplug/virtual_bus_source.h"

namespace marlow::cli {

std::unique_ptr<hotplug::DeviceSource>
MakePdaDeviceSource(const std::string& busPath, const std::string& busGroup, std::string* error) {
    if (!busPath.empty())
        return std::make_unique<hotplug::VirtualBusSource>(busPath, busGroup);
    std::optional<std::vector<hotplug::UsbId>> ids =
        hotplug::ParsePdaUsbIds(hotplug::ReadPdaUsbIdsSetting(), error);
    if (!ids)
        return nullptr;
    return std::make_unique<hotplug::LibusbDeviceSource>(std::move(*ids));
}

} // namespace marlow::cli
