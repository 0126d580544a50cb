#include "common/usb_port_path.h"

namespace marlow {
namespace {

// 1 to 255 in plain decimal: what a bus or a port number can be.
bool IsUsbNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || digits.front() == '0')
        return false;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

} // namespace

std::string FormatUsbPortPath(std::uint8_t bus, std::span<const std::uint8_t> ports) {
    std::string path = std::to_string(bus) + "-";
    if (ports.empty())
        return path + "0";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i > 0)
            path += '.';
        path += std::to_string(ports[i]);
    }
    return path;
}

bool IsUsbPortPath(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || !IsUsbNumber(text.substr(0, dash)))
        return false;
    std::string_view ports = text.substr(dash + 1);
    for (std::size_t depth = 1; depth <= kMaxUsbPortDepth; ++depth) {
        const std::size_t dot = ports.find('.');
        if (!IsUsbNumber(ports.substr(0, dot)))
            return false;
        if (dot == std::string_view::npos)
            return true;
        ports.remove_prefix(dot + 1);
    }
    return false;
}

} // namespace marlow
