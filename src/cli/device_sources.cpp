#include "cli/device_sources.h"

#include "cli/settings_store.h"
#include "usb/libusb_device_source.h"
#include "usb/usb_ids.h"
#include "usb/virtual_bus_source.h"

namespace marlow::cli {

Result<std::unique_ptr<usb::DeviceSource>> MakePdaDeviceSource(const std::string& busPath,
                                                               const std::string& busGroup,
                                                               AttachedHandsets attached) {
    if (!busPath.empty())
        return std::unique_ptr<usb::DeviceSource>(
            std::make_unique<usb::VirtualBusSource>(busPath, busGroup));
    Result<std::vector<usb::UsbId>> ids = usb::ReadPdaUsbIds(UserSettingsStore());
    if (!ids)
        return Failure{ids.Error()};
    // A script that starts marlow-cli with the handset plugged in means that
    // handset.
    usb::LibusbDeviceSource::Options options;
    options.serveAttached = attached == AttachedHandsets::Served;
    return std::unique_ptr<usb::DeviceSource>(
        std::make_unique<usb::LibusbDeviceSource>(std::move(*ids), options));
}

} // namespace marlow::cli
