#pragma once
// Every USB device on the system as an operator needs to see it when a
// handset is not found: its place and id, whether it has a bulk pipe pair
// and whether this user may open it.

#include "usb/libusb_context.h"
#include "usb/libusb_device_info.h"

#include <string>
#include <vector>

namespace marlow::usb {

enum class UsbAccess {
    Granted,
    PermissionDenied,
    Failed, // see accessProblem
};

struct UsbSurveyEntry {
    UsbDeviceInfo info;
    std::string description;
    bool hasBulkPair = false;
    UsbAccess access = UsbAccess::Failed;
    std::string accessProblem;
};

// In bus and port order. Opens each device once to try the permission.
Result<std::vector<UsbSurveyEntry>> SurveyUsbDevices(const LibusbContext& context);

} // namespace marlow::usb
