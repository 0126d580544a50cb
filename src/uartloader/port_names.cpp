#include "uartloader/port_names.h"

#include <charconv>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace marlow::uartloader {

namespace {

// UNIX 98 pseudo-terminal slaves use majors 136 to 143 (devices.txt).
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;

bool ParseComNumber(std::string_view name, unsigned& number) {
    if (name.size() < 4 || name.substr(0, 3) != "COM")
        return false;
    const char* first = name.data() + 3;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, number);
    return error == std::errc() && end == last && number >= 1;
}

} // namespace

std::string SystemPortPath(std::string_view portName) {
    unsigned number = 0;
    if (ParseComNumber(portName, number))
        return "/dev/ttyS" + std::to_string(number - 1);
    if (portName.starts_with('/') || portName.starts_with('.'))
        return std::string(portName);
    return "/dev/" + std::string(portName);
}

std::string PortNameFromIndex(int portIndex) {
    return "COM" + std::to_string(portIndex + 1);
}

bool IsPseudoTerminal(const std::string& devicePath) {
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned majorNumber = major(st.st_rdev);
    if (majorNumber >= kFirstPtySlaveMajor && majorNumber <= kLastPtySlaveMajor)
        return true;
    // Containers may number /dev/pts differently; the folder still tells.
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(devicePath.c_str(), nullptr),
                                                         &std::free);
    return resolved && std::string_view(resolved.get()).starts_with("/dev/pts/");
}

} // namespace marlow::uartloader
