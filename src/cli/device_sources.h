#pragma once
// Where the PDA download commands find handsets: the virtual USB bus when a
// socket path is given (its socket shared with `busGroup` when one is named),
// otherwise real devices through libusb, matched by the "PdaUsbIds" setting;
// handsets plugged in before the command started are served too, unless the
// command asks for new arrivals only.

#include "usb/device_source.h"

#include <memory>
#include <string>

namespace marlow::cli {

// Whether real handsets plugged in before the start count as arrivals.
enum class AttachedHandsets { Served, Left };

// Fails when "PdaUsbIds" cannot be parsed.
Result<std::unique_ptr<usb::DeviceSource>>
MakePdaDeviceSource(const std::string& busPath, const std::string& busGroup,
                    AttachedHandsets attached = AttachedHandsets::Served);

} // namespace marlow::cli
