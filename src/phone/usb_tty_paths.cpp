#include "phone/usb_tty_paths.h"

#include "common/usb_port_path.h"
#include "phone/phone_log.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

namespace marlow::phone {
namespace {

namespace fs = std::filesystem;

std::string Under(const std::string& root, std::string_view path) {
    std::string joined = root.empty() ? std::string("/") : root;
    if (joined.back() != '/')
        joined += '/';
    return joined.append(path);
}

bool IsDecimal(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "1-2.3:1.0" (port path, configuration, interface) gives "1-2.3".
std::optional<std::string> PortPathOfInterface(std::string_view name) {
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view setting = name.substr(colon + 1);
    const std::size_t dot = setting.find('.');
    if (dot == std::string_view::npos || !IsDecimal(setting.substr(0, dot)) ||
        !IsDecimal(setting.substr(dot + 1)))
        return std::nullopt;
    const std::string_view port = name.substr(0, colon);
    if (!IsUsbPortPath(port))
        return std::nullopt;
    return std::string(port);
}

// A name that stays one entry of the folder it is looked up in.
bool IsEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Where the tty's device link leads, when it stays within the root.
std::optional<fs::path> DeviceOfTty(const std::string& root, const std::string& ttyName) {
    if (!IsEntryName(ttyName))
        return std::nullopt;
    std::error_code error;
    const fs::path base = fs::canonical(root.empty() ? "/" : root, error);
    if (error)
        return std::nullopt;
    fs::path device = fs::canonical(Under(root, "sys/class/tty/" + ttyName + "/device"), error);
    if (error)
        return std::nullopt;
    const fs::path inside = device.lexically_relative(base);
    if (inside.empty() || *inside.begin() == "..")
        return std::nullopt;
    return device;
}

// The interface nearest the tty on its way up the device tree.
std::optional<std::string> PortPathOfDevice(const fs::path& device) {
    for (auto part = device.end(); part != device.begin();) {
        --part;
        if (std::optional<std::string> port = PortPathOfInterface(part->native()))
            return port;
    }
    return std::nullopt;
}

} // namespace

std::string DeviceTreeRoot() {
    const char* root = std::getenv(kDeviceTreeRootVariable);
    return root != nullptr && *root != '\0' ? std::string(root) : std::string("/");
}

std::string TtyDeviceNode(const std::string& root, const std::string& ttyName) {
    return Under(root, "dev/" + ttyName);
}

std::optional<std::string> UsbPortPathOfTty(const std::string& root, const std::string& ttyName) {
    const std::optional<fs::path> device = DeviceOfTty(root, ttyName);
    return device ? PortPathOfDevice(*device) : std::nullopt;
}

std::optional<std::string> FindTtyUnderUsbPort(const std::string& root,
                                               const std::string& usbPortPath) {
    if (!IsUsbPortPath(usbPortPath))
        return std::nullopt;
    // (device path, name): the device path sorts a device's interfaces in order.
    std::vector<std::pair<std::string, std::string>> found;
    std::error_code error;
    for (fs::directory_iterator entry(Under(root, "sys/class/tty"), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().native();
        const std::optional<fs::path> device = DeviceOfTty(root, name);
        if (!device || PortPathOfDevice(*device) != usbPortPath)
            continue;
        std::error_code absent;
        if (!fs::exists(TtyDeviceNode(root, name), absent))
            continue; // announced in /sys, its node not made yet (or gone)
        found.emplace_back(device->native(), name);
    }
    if (found.empty()) {
        qCDebug(lcPhone, "no serial port under USB port %s yet", usbPortPath.c_str());
        return std::nullopt;
    }
    std::sort(found.begin(), found.end());
    qCDebug(lcPhone, "modem port %s found under USB port %s (of %zu there)",
            found.front().second.c_str(), usbPortPath.c_str(), found.size());
    return found.front().second;
}

} // namespace marlow::phone
