#include "usb/libusb_device_info.h"

#include "common/usb_port_path.h"
#include "usb/libusb_context.h"

#include <array>
#include <cstdio>
#include <libusb.h>
#include <string_view>

namespace marlow::usb {
namespace {

constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kTransferTypeMask = 0x03;
constexpr std::uint8_t kTransferTypeBulk = 0x02;

bool IsBulk(const UsbEndpointInfo& endpoint) {
    return (endpoint.attributes & kTransferTypeMask) == kTransferTypeBulk;
}

bool IsIn(const UsbEndpointInfo& endpoint) {
    return (endpoint.address & kDirectionIn) != 0;
}

std::vector<UsbInterfaceInfo> InterfacesOf(const libusb_config_descriptor& config) {
    std::vector<UsbInterfaceInfo> interfaces;
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& interface = config.interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            UsbInterfaceInfo info;
            info.number = setting.bInterfaceNumber;
            info.alternateSetting = setting.bAlternateSetting;
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                info.endpoints.push_back(
                    {endpoint.bEndpointAddress, endpoint.bmAttributes, endpoint.wMaxPacketSize});
            }
            interfaces.push_back(std::move(info));
        }
    }
    return interfaces;
}

std::string ReadStringDescriptor(libusb_device_handle* handle, std::uint8_t index) {
    if (index == 0)
        return {};
    std::array<unsigned char, 256> text{};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text.data(),
                                                          static_cast<int>(text.size()));
    if (length <= 0)
        return {};
    return std::string(text.begin(), text.begin() + length);
}

} // namespace

std::optional<BulkPair> FindBulkPair(std::span<const UsbInterfaceInfo> interfaces) {
    for (const UsbInterfaceInfo& interface : interfaces) {
        const UsbEndpointInfo* in = nullptr;
        const UsbEndpointInfo* out = nullptr;
        for (const UsbEndpointInfo& endpoint : interface.endpoints) {
            if (!IsBulk(endpoint))
                continue;
            if (IsIn(endpoint) && in == nullptr)
                in = &endpoint;
            if (!IsIn(endpoint) && out == nullptr)
                out = &endpoint;
        }
        if (in != nullptr && out != nullptr)
            return BulkPair{interface.number, interface.alternateSetting, in->address, out->address,
                            in->maxPacketSize};
    }
    return std::nullopt;
}

std::string FormatUsbDevicePath(std::uint8_t bus, std::span<const std::uint8_t> ports) {
    return "usb:" + FormatUsbPortPath(bus, ports);
}

std::string FormatUsbId(std::uint16_t vendor, std::uint16_t product) {
    std::array<char, 10> text{};
    std::snprintf(text.data(), text.size(), "%04x:%04x", vendor, product);
    return text.data();
}

std::string UsbOpenErrorText(int libusbError, const UsbDeviceInfo& device) {
    const std::string which =
        "USB device " + device.path + " (" + FormatUsbId(device.vendor, device.product) + ")";
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        return "Cannot open " + which + ": permission denied: " + kUdevRuleHint;
    case LIBUSB_ERROR_NO_DEVICE:
        return "Cannot open " + which + ": the device has left the bus";
    case LIBUSB_ERROR_BUSY:
        return "Cannot open " + which +
               ": another program or driver holds its interface; close it and reconnect the "
               "handset";
    default:
        return "Cannot open " + which + ": " + LibusbErrorText(libusbError);
    }
}

UsbDeviceInfo ReadUsbDeviceInfo(libusb_device* device) {
    UsbDeviceInfo info;
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS) {
        info.vendor = descriptor.idVendor;
        info.product = descriptor.idProduct;
    }
    std::array<std::uint8_t, kMaxUsbPortDepth> ports{};
    const int depth = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    const std::span chain(ports.data(), depth > 0 ? depth : 0);
    info.portPath = FormatUsbPortPath(libusb_get_bus_number(device), chain);
    info.path = "usb:" + info.portPath;
    return info;
}

std::vector<UsbInterfaceInfo> ReadUsbInterfaces(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS)
        return {};
    std::vector<UsbInterfaceInfo> interfaces = InterfacesOf(*config);
    libusb_free_config_descriptor(config);
    return interfaces;
}

std::string ReadUsbStrings(libusb_device_handle* handle) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(libusb_get_device(handle), &descriptor) != LIBUSB_SUCCESS)
        return {};
    const std::string manufacturer = ReadStringDescriptor(handle, descriptor.iManufacturer);
    const std::string product = ReadStringDescriptor(handle, descriptor.iProduct);
    if (manufacturer.empty() || product.empty())
        return manufacturer + product;
    return manufacturer + " " + product;
}

std::string ReadUsbSerialNumber(libusb_device_handle* handle) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(libusb_get_device(handle), &descriptor) != LIBUSB_SUCCESS)
        return {};
    return ReadStringDescriptor(handle, descriptor.iSerialNumber);
}

std::string UsbPortPathOf(const std::string& devicePath) {
    constexpr std::string_view kPrefix = "usb:";
    if (!devicePath.starts_with(kPrefix) || devicePath.ends_with("-0"))
        return {};
    return devicePath.substr(kPrefix.size());
}

std::string DescribeUsbDevice(libusb_device* device, const UsbDeviceInfo& info) {
    std::string strings;
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) == LIBUSB_SUCCESS) {
        strings = ReadUsbStrings(handle);
        libusb_close(handle);
    }
    if (!strings.empty())
        return strings;
    return "USB device " + FormatUsbId(info.vendor, info.product);
}

} // namespace marlow::usb
