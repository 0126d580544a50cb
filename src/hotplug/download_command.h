#pragma once
// Command 32771, "Download the Image File": what the main window does when
// ReportConnected has opened a device. It checks the device and the file
// (whole, when the settings ask for it: a bad image or list is refused with
// its reason before a byte goes out), notes a phone download that is to
// follow, and starts the downloads.

#include "hotplug/device_watcher.h"
#include "pda/download_plan_check.h"

#include <functional>

namespace marlow::hotplug {

// False when nothing was started (no device, file missing or refused, thread
// failure).
// `onlyPath` limits the start to one device (the CLI's handsets are
// independent of each other). `checked` hears the plan the whole-file
// check found, so that a record takes its digests from that one read.
bool OperationDownload(CDeviceWatcher& watcher, pda::PdaRunContext& context,
                       pda::PdaEventSink& events, const std::string* onlyPath = nullptr,
                       const std::function<void(const pda::DownloadPlan&)>& checked = {});

} // namespace marlow::hotplug
