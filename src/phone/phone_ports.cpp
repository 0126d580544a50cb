#include "phone/phone_ports.h"

#include "phone/directory_watch.h"
#include "phone/phone_log.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace marlow::phone {
namespace {

// Far above any port a system numbers; keeps a hostile name from overflowing.
constexpr int kLargestPortNumber = 1000000;

int LeadingDecimal(std::string_view digits) {
    int value = 0;
    for (const char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        value = value * 10 + (c - '0');
        if (value > kLargestPortNumber)
            return kLargestPortNumber;
    }
    return value;
}

} // namespace

std::optional<int> PortNumberOf(std::string_view name) {
    if (name == "USB0" || name.size() <= 3)
        return std::nullopt;
    return LeadingDecimal(name.substr(3));
}

std::vector<ModemPort> FindPhonePorts(PhonePortSource& source, std::size_t capacity) {
    std::vector<ModemPort> ports;
    for (SystemPort& port : source.Ports()) {
        if (ports.size() == capacity)
            break;
        if (const std::optional<int> number = PortNumberOf(port.name))
            ports.push_back({std::move(port.path), std::move(port.usbPortPath), *number});
    }
    return ports;
}

std::string FormPortName(std::string_view pattern, int number) {
    std::string name;
    bool numberPlaced = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next == '%') {
            name += '%';
            ++i;
        } else if (pattern[i] == '%' && (next == 'i' || next == 'd') && !numberPlaced) {
            name += std::to_string(number);
            numberPlaced = true;
            ++i;
        } else {
            name += pattern[i];
        }
    }
    return name;
}

std::vector<ModemPort> DiscoveredPhonePort::Listed() {
    std::vector<ModemPort> ports = FindPhonePorts(source_, capacity_);
    if (!pattern_.empty())
        for (ModemPort& port : ports)
            port.path = FormPortName(pattern_, port.number);
    return ports;
}

std::optional<ModemPort> DiscoveredPhonePort::FindPort(const std::string& usbPortPath) {
    const std::vector<ModemPort> ports = Listed();
    for (const ModemPort& port : ports) {
        if (!usbPortPath.empty() && port.usbPortPath != usbPortPath)
            continue;
        qCDebug(lcPhone, "modem port %s chosen: %s of %zu found", port.path.c_str(),
                usbPortPath.empty() ? "the first" : ("the one on USB port " + usbPortPath).c_str(),
                ports.size());
        return port;
    }
    qCDebug(lcPhone, "no modem port found yet%s",
            usbPortPath.empty() ? "" : (" on USB port " + usbPortPath).c_str());
    return std::nullopt;
}

bool DiscoveredPhonePort::PortPresent(const ModemPort& port) {
    const std::vector<ModemPort> ports = Listed();
    return std::find(ports.begin(), ports.end(), port) != ports.end();
}

FixedPhonePort::FixedPhonePort(std::string path) : path_(std::move(path)) {}

FixedPhonePort::~FixedPhonePort() = default;

std::optional<ModemPort> FixedPhonePort::FindPort(const std::string&) {
    std::error_code ignored;
    if (!std::filesystem::exists(path_, ignored)) {
        qCDebug(lcPhone, "the named modem port %s does not exist yet", path_.c_str());
        return std::nullopt;
    }
    qCDebug(lcPhone, "modem port %s chosen: named by the caller", path_.c_str());
    return ModemPort{.path = path_, .usbPortPath = {}, .number = 0};
}

bool FixedPhonePort::WatchPorts(std::function<void()> changed) {
    StopWatchingPorts();
    const std::filesystem::path path(path_);
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    const std::string entry = path.filename().string();
    Result<std::unique_ptr<DirectoryWatch>> watch = DirectoryWatch::Start(
        folder, [entry, changed = std::move(changed)](const std::optional<std::string>& name) {
            if (!name || *name == entry)
                changed();
        });
    if (!watch) {
        qCDebug(lcPhone, "watching %s failed: %s", folder.c_str(), watch.Error().c_str());
        return false;
    }
    watch_ = std::move(*watch);
    return true;
}

void FixedPhonePort::StopWatchingPorts() {
    watch_.reset();
}

bool FixedPhonePort::PortsWatched() const {
    return watch_ != nullptr && watch_->Healthy();
}

} // namespace marlow::phone
