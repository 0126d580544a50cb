#include "usb/libusb_survey.h"

#include <algorithm>
#include <libusb.h>

namespace marlow::usb {
namespace {

UsbSurveyEntry Survey(libusb_device* device) {
    UsbSurveyEntry entry;
    entry.info = ReadUsbDeviceInfo(device);
    entry.hasBulkPair = FindBulkPair(ReadUsbInterfaces(device)).has_value();
    libusb_device_handle* handle = nullptr;
    const int opened = libusb_open(device, &handle);
    if (opened == LIBUSB_SUCCESS) {
        entry.access = UsbAccess::Granted;
        entry.description = ReadUsbStrings(handle);
        libusb_close(handle);
    } else {
        entry.access =
            opened == LIBUSB_ERROR_ACCESS ? UsbAccess::PermissionDenied : UsbAccess::Failed;
        entry.accessProblem = UsbOpenErrorText(opened, entry.info);
    }
    if (entry.description.empty())
        entry.description = "USB device " + FormatUsbId(entry.info.vendor, entry.info.product);
    return entry;
}

} // namespace

Result<std::vector<UsbSurveyEntry>> SurveyUsbDevices(const LibusbContext& context) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context.Raw(), &list);
    if (count < 0)
        return Failure{"Cannot list USB devices: " + LibusbErrorText(static_cast<int>(count))};
    std::vector<UsbSurveyEntry> entries;
    for (ssize_t i = 0; i < count; ++i)
        entries.push_back(Survey(list[i]));
    libusb_free_device_list(list, 1);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.info.path < b.info.path; });
    return entries;
}

} // namespace marlow::usb
