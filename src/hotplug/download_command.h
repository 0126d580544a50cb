#pragma once
// Command 32771, "Download the Image File": what the main window does when
// ReportConnected has opened a device. It checks the device and the file
// (whole, when the settings ask for it: a bad image or list is refused with
// its reason before a byte goes out), notes a phone download that is to
// follow, and starts the downloads.

#include "hotplug/device_watcher.h"

namespace marlow::hotplug {

// False when nothing was started (no device, file missing or refused, thread
// failure).
// `onlyPath` limits the start to one device (the CLI's handsets are
// independent of each other).
bool OperationDownload(CDeviceWatcher& watcher, pda::PdaRunContext& context,
                       pda::PdaEventSink& events, const std::string* onlyPath = nullptr);

} // namespace marlow::hotplug
