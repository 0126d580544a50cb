#pragma once
// A USB device's serial port as the kernel shows it, written into a folder
// that stands in for "/": the device under `sys/devices/…/usb<bus>/<hub
// ports>/<port path>` with its ids, the interface "<port path>:1.<i>" and
// its `tty/<name>` with a `device` link back to the interface, and
// `sys/class/tty/<name>` linking there. Marlow's port discovery, pointed at
// the folder (MARLOW_SYSFS_ROOT), reads it as it reads /sys. The device node
// `dev/<name>` is not written here: the modem emulator links it to its
// pseudo-terminal, after the tree is in place, as udev makes the node after
// the kernel has announced the device.

#include "common/result.h"

#include <cstdint>
#include <string>

namespace marlow::emulators {

struct UsbTtyPlace {
    std::string portPath; // "1-1.3"
    int interfaceNumber = 0;
    std::string ttyName; // "ttyACM5"
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

// Makes the tree's folders (`sys/class/tty`, `dev`) under `root`.
Status PrepareUsbTtyTree(const std::string& root);
Status PublishUsbTty(const std::string& root, const UsbTtyPlace& place);
// Removes the tty and its interface, and the device once it has no
// interface left. Hubs stay, as a fixture's hubs stay plugged in.
void WithdrawUsbTty(const std::string& root, const UsbTtyPlace& place);

} // namespace marlow::emulators
