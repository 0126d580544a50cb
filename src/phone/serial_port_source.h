#pragma once
// The production port source: the system's serial ports that belong to a USB
// device 058b:0015. On Linux it reads the device tree directly (each tty's
// device node in /dev, its USB ids and the USB port it hangs on in /sys),
// under the tree's root ("/", or the folder MARLOW_SYSFS_ROOT names, where a
// rig publishes its modems), and while watched it keeps the list up to date
// from /dev's changes, looking only at the entry that changed; elsewhere Qt
// SerialPort lists the ports.

#include "phone/phone_ports.h"
#include "phone/usb_tty_paths.h"

#include <QString>
#include <mutex>

namespace marlow::phone {

class SerialPortSource : public PhonePortSource {
public:
    // `root` holds the tree's sys/ and dev/.
    explicit SerialPortSource(std::string root = DeviceTreeRoot());
    ~SerialPortSource() override;

    std::vector<SystemPort> Ports() override;
    bool WatchPorts(std::function<void()> changed) override;
    void StopWatchingPorts() override;
    bool PortsWatched() const override;

private:
    struct Port {
        std::string devicePath;  // the order the system enumerates its devices in
        std::string name;        // "ttyACM3"
        std::string usbPortPath; // "1-4.2"
        std::string node;        // what opens it: "/dev/ttyACM3"
        bool operator<(const Port& other) const { return devicePath < other.devicePath; }
    };
    std::vector<Port> Scan() const;
    static std::vector<SystemPort> SystemPortsOf(const std::vector<Port>& ports);
    void Recheck(const std::optional<std::string>& entry);

    const std::string root_;
    mutable std::mutex mutex_;
    std::vector<Port> known_; // kept while watched
    std::function<void()> changed_;
    std::unique_ptr<DirectoryWatch> watch_;
};

// The name the port rules read: a device node's name without its "tty"
// prefix ("ttyACM3" gives "ACM3", carrying 3), other names as they are.
std::string PhonePortNameOf(const QString& systemPortName);

} // namespace marlow::phone
