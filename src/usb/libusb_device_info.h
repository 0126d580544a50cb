#pragma once
// What Marlow needs to know about a USB device before talking to it: where
// it sits (its device path), who it is (vendor and product id) and which
// interface carries the bulk pipe pair. The rules are pure functions over
// plain descriptions; the libusb readers fill those descriptions.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct libusb_device;
struct libusb_device_handle;

namespace marlow::usb {

struct UsbEndpointInfo {
    std::uint8_t address = 0;    // bit 7 set: IN
    std::uint8_t attributes = 0; // bits 0-1: transfer type, 2 = bulk
    std::uint16_t maxPacketSize = 0;
};

// One alternate setting of one interface.
struct UsbInterfaceInfo {
    std::uint8_t number = 0;
    std::uint8_t alternateSetting = 0;
    std::vector<UsbEndpointInfo> endpoints;
};

struct BulkPair {
    std::uint8_t interfaceNumber = 0;
    std::uint8_t alternateSetting = 0;
    std::uint8_t inEndpoint = 0;
    std::uint8_t outEndpoint = 0;
    std::uint16_t inMaxPacketSize = 0;
};

// The first interface, in descriptor order, with a bulk IN and a bulk OUT
// endpoint; within it the first endpoint of each direction.
std::optional<BulkPair> FindBulkPair(std::span<const UsbInterfaceInfo> interfaces);

// "usb:" and the device's port path ("usb:1-4.2"; "usb:1-0" for a root hub).
std::string FormatUsbDevicePath(std::uint8_t bus, std::span<const std::uint8_t> ports);
// The port chain of such a path ("1-4.2"), as /sys names the device; empty
// for a root hub or a path of another kind.
std::string UsbPortPathOf(const std::string& devicePath);
// "045e:00ce"
std::string FormatUsbId(std::uint16_t vendor, std::uint16_t product);

struct UsbDeviceInfo {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string path;
    std::string portPath; // "1-4.2", where the device is plugged in
};

// What an operator is told when opening the device failed with this libusb
// error code.
std::string UsbOpenErrorText(int libusbError, const UsbDeviceInfo& device);
inline constexpr const char* kUdevRuleHint =
    "install the udev rule res/udev/60-marlow.rules (see README) and reconnect the handset";

// Readers over libusb (no transfer to the device).
UsbDeviceInfo ReadUsbDeviceInfo(libusb_device* device);
// The interfaces of the active configuration (or the first one when the
// device is not configured); empty when the descriptors cannot be read.
std::vector<UsbInterfaceInfo> ReadUsbInterfaces(libusb_device* device);
// "Manufacturer Product" from the string descriptors of an open device;
// empty when it has none.
std::string ReadUsbStrings(libusb_device_handle* handle);
// The serial number string of an open device; empty when it has none.
std::string ReadUsbSerialNumber(libusb_device_handle* handle);
// The strings when the device can be opened, else "USB device vvvv:pppp".
std::string DescribeUsbDevice(libusb_device* device, const UsbDeviceInfo& info);

} // namespace marlow::usb
