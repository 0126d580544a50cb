#include "phone/serial_port_source.h"

#include "common/regular_file.h"
#include "phone/directory_watch.h"

#include <algorithm>

#if defined(__linux__)
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSerialPortInfo>
#endif

namespace marlow::phone {

std::string PhonePortNameOf(const QString& systemPortName) {
    if (systemPortName.startsWith("tty"))
        return systemPortName.mid(3).toStdString();
    return systemPortName.toStdString();
}

SerialPortSource::SerialPortSource(std::string root) : root_(std::move(root)) {}

SerialPortSource::~SerialPortSource() {
    StopWatchingPorts();
}

std::vector<SystemPort> SerialPortSource::SystemPortsOf(const std::vector<Port>& ports) {
    std::vector<SystemPort> listed;
    for (const Port& port : ports)
        listed.push_back({.name = PhonePortNameOf(QString::fromStdString(port.name)),
                          .path = port.node,
                          .usbPortPath = port.usbPortPath});
    return listed;
}

std::vector<SystemPort> SerialPortSource::Ports() {
    {
        const std::lock_guard lock(mutex_);
        if (watch_ && watch_->Healthy())
            return SystemPortsOf(known_);
    }
    return SystemPortsOf(Scan());
}

bool SerialPortSource::PortsWatched() const {
    const std::lock_guard lock(mutex_);
    return watch_ && watch_->Healthy();
}

void SerialPortSource::StopWatchingPorts() {
    std::unique_ptr<DirectoryWatch> ending;
    {
        const std::lock_guard lock(mutex_);
        ending = std::move(watch_);
    }
    ending.reset(); // joins the watch's thread, which takes the lock
    const std::lock_guard lock(mutex_);
    changed_ = nullptr;
    known_.clear();
}

#if defined(__linux__)

namespace {

constexpr std::uint16_t kNoId = 0;

std::uint16_t ReadHexId(const std::string& file) {
    const Result<int> fd = OpenRegularFile(file, O_RDONLY);
    if (!fd)
        return kNoId;
    char text[16] = {};
    const ssize_t got = ::read(*fd, text, sizeof text - 1);
    ::close(*fd);
    if (got <= 0)
        return kNoId;
    const unsigned long value = std::strtoul(text, nullptr, 16);
    return value > 0xFFFF ? kNoId : static_cast<std::uint16_t>(value);
}

struct ModemTty {
    std::string devicePath;  // in /sys
    std::string usbPortPath; // the USB device's folder name: its port chain
};

// `<root>/<path>`, "/sys/…" itself on a real system.
std::string InTree(const std::string& root, const std::string& path) {
    return root.empty() || root.back() != '/' ? root + "/" + path : root + path;
}

// The tty's place in /sys when it has a device node and sits on a USB
// device 058b:0015.
std::optional<ModemTty> ModemDevicePath(const std::string& root, const std::string& name) {
    struct stat node {};
    if (::stat(TtyDeviceNode(root, name).c_str(), &node) != 0)
        return std::nullopt;
    char resolved[PATH_MAX];
    if (::realpath(InTree(root, "sys/class/tty/" + name).c_str(), resolved) == nullptr)
        return std::nullopt;
    std::string folder(resolved);
    if (folder.find("/usb") == std::string::npos)
        return std::nullopt; // a console, a virtual terminal, an on-board UART
    // Up from the tty to the USB device that carries its ids.
    while (!folder.empty()) {
        folder.erase(folder.rfind('/'));
        const std::uint16_t vendor = ReadHexId(folder + "/idVendor");
        if (vendor == kNoId)
            continue;
        if (vendor != kModemVendorId || ReadHexId(folder + "/idProduct") != kModemProductId)
            return std::nullopt;
        return ModemTty{.devicePath = resolved,
                        .usbPortPath = folder.substr(folder.rfind('/') + 1)};
    }
    return std::nullopt;
}

} // namespace

std::vector<SerialPortSource::Port> SerialPortSource::Scan() const {
    std::vector<Port> ports;
    DIR* folder = ::opendir(InTree(root_, "sys/class/tty").c_str());
    if (folder == nullptr)
        return ports;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (std::optional<ModemTty> tty = ModemDevicePath(root_, name))
            ports.push_back({std::move(tty->devicePath), name, std::move(tty->usbPortPath),
                             TtyDeviceNode(root_, name)});
    }
    ::closedir(folder);
    std::sort(ports.begin(), ports.end());
    return ports;
}

bool SerialPortSource::WatchPorts(std::function<void()> changed) {
    StopWatchingPorts();
    // Held until the first scan is in: the watch's first events wait for it,
    // so a port that comes meanwhile is neither missed nor lost.
    const std::lock_guard lock(mutex_);
    changed_ = std::move(changed);
    Result<std::unique_ptr<DirectoryWatch>> watch = DirectoryWatch::Start(
        InTree(root_, "dev"), [this](const std::optional<std::string>& entry) { Recheck(entry); });
    if (!watch)
        return false;
    watch_ = std::move(*watch);
    known_ = Scan();
    return true;
}

// On the watch's thread: looks only at the entry that changed (everything
// when events were lost) and tells the owner when the modem ports changed.
void SerialPortSource::Recheck(const std::optional<std::string>& entry) {
    std::function<void()> changed;
    {
        const std::lock_guard lock(mutex_);
        std::vector<Port> ports;
        if (!entry) {
            ports = Scan();
        } else {
            if (entry->rfind("tty", 0) != 0)
                return;
            ports = known_;
            std::erase_if(ports, [&](const Port& port) { return port.name == *entry; });
            if (std::optional<ModemTty> tty = ModemDevicePath(root_, *entry)) {
                ports.push_back({std::move(tty->devicePath), *entry, std::move(tty->usbPortPath),
                                 TtyDeviceNode(root_, *entry)});
                std::sort(ports.begin(), ports.end());
            }
        }
        const bool same = std::equal(ports.begin(), ports.end(), known_.begin(), known_.end(),
                                     [](const Port& a, const Port& b) { return a.name == b.name; });
        known_ = std::move(ports);
        if (same && entry)
            return;
        changed = changed_;
    }
    if (changed)
        changed();
}

#else

std::vector<SerialPortSource::Port> SerialPortSource::Scan() const {
    std::vector<Port> ports;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const bool isModem = port.hasVendorIdentifier() && port.hasProductIdentifier() &&
                             port.vendorIdentifier() == kModemVendorId &&
                             port.productIdentifier() == kModemProductId;
        if (isModem)
            ports.push_back({std::to_string(ports.size()),
                             port.portName().toStdString(),
                             {},
                             port.systemLocation().toStdString()});
    }
    return ports;
}

bool SerialPortSource::WatchPorts(std::function<void()>) {
    return false;
}

void SerialPortSource::Recheck(const std::optional<std::string>&) {}

#endif

} // namespace marlow::phone
