#pragma once
// Which USB port a serial port sits on, read from the device tree: a tty's
// `/sys/class/tty/<name>/device` leads to the USB interface it belongs to,
// "1-2.3:1.0", whose device is plugged into port path "1-2.3". A station
// slot waits for the modem port under its own port path, never for the
// first one that appears.
//
// The tree is read under a root folder that holds `sys/` and `dev/`: "/" on
// a real system; a rig (the emulated station) publishes a tree of the same
// shape elsewhere and names it in MARLOW_SYSFS_ROOT, so the same code runs
// on both.

#include <optional>
#include <string>

namespace marlow::phone {

inline constexpr const char* kDeviceTreeRootVariable = "MARLOW_SYSFS_ROOT";

// "/" unless MARLOW_SYSFS_ROOT names another folder.
std::string DeviceTreeRoot();

// The USB port path of the device the tty ("ttyACM3") belongs to; nullopt
// for a tty that is not on USB or not there at all.
std::optional<std::string> UsbPortPathOfTty(const std::string& root, const std::string& ttyName);

// The tty on the USB device at that port path that has a device node in
// `<root>/dev`; when the device has several, the one of its first
// interface. Nullopt when there is none (yet).
std::optional<std::string> FindTtyUnderUsbPort(const std::string& root,
                                               const std::string& usbPortPath);

// `<root>/dev/<name>`: the name to open.
std::string TtyDeviceNode(const std::string& root, const std::string& ttyName);

} // namespace marlow::phone
