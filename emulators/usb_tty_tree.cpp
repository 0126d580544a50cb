#include "emulators/usb_tty_tree.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace marlow::emulators {
namespace {

namespace fs = std::filesystem;

// Where the emulated host controller sits, as on a common PC.
constexpr const char* kController = "sys/devices/pci0000:00/0000:00:14.0";

// "1-1.3" gives sys/devices/…/usb1/1-1/1-1.3: each hub a folder of its own.
fs::path DeviceFolder(const std::string& root, const std::string& portPath) {
    const std::size_t dash = portPath.find('-');
    fs::path folder = fs::path(root) / kController / ("usb" + portPath.substr(0, dash));
    for (std::size_t dot = portPath.find('.', dash); dot != std::string::npos;
         dot = portPath.find('.', dot + 1))
        folder /= portPath.substr(0, dot);
    return folder / portPath;
}

std::string InterfaceName(const UsbTtyPlace& place) {
    return place.portPath + ":1." + std::to_string(place.interfaceNumber);
}

std::string Hex4(std::uint16_t value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%04x\n", value);
    return text.data();
}

Status WriteText(const fs::path& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return Failure{"cannot write " + path.string()};
    const bool written = std::fputs(text.c_str(), file) >= 0;
    return std::fclose(file) == 0 && written ? Status{} : Failure{"cannot write " + path.string()};
}

// A link made anew, whatever a run before left there.
Status Link(const fs::path& target, const fs::path& at) {
    std::error_code error;
    fs::remove(at, error);
    fs::create_symlink(target, at, error);
    if (error)
        return Failure{"cannot link " + at.string() + ": " + error.message()};
    return {};
}

} // namespace

Status PrepareUsbTtyTree(const std::string& root) {
    std::error_code error;
    for (const char* folder : {"sys/class/tty", "dev"}) {
        fs::create_directories(fs::path(root) / folder, error);
        if (error)
            return Failure{"cannot make " + (fs::path(root) / folder).string() + ": " +
                           error.message()};
    }
    return {};
}

Status PublishUsbTty(const std::string& root, const UsbTtyPlace& place) {
    const fs::path device = DeviceFolder(root, place.portPath);
    const fs::path tty = device / InterfaceName(place) / "tty" / place.ttyName;
    std::error_code error;
    fs::create_directories(tty, error);
    if (error)
        return Failure{"cannot make " + tty.string() + ": " + error.message()};
    for (const auto& [name, value] :
         {std::pair{"idVendor", place.vendor}, std::pair{"idProduct", place.product}})
        if (const Status written = WriteText(device / name, Hex4(value)); !written)
            return written;
    if (const Status linked = Link(fs::path("../../..") / InterfaceName(place), tty / "device");
        !linked)
        return linked;
    const fs::path classEntry = fs::path(root) / "sys/class/tty" / place.ttyName;
    return Link(fs::path("../..") / tty.lexically_relative(fs::path(root) / "sys"), classEntry);
}

void WithdrawUsbTty(const std::string& root, const UsbTtyPlace& place) {
    std::error_code error;
    fs::remove(fs::path(root) / "sys/class/tty" / place.ttyName, error);
    const fs::path device = DeviceFolder(root, place.portPath);
    fs::remove_all(device / InterfaceName(place), error);
    for (fs::directory_iterator entry(device, error), end; !error && entry != end;
         entry.increment(error))
        if (entry->path().filename().native().find(':') != std::string::npos)
            return; // another interface is still there
    fs::remove_all(device, error);
}

} // namespace marlow::emulators
