#include "debugport/debug_port_names.h"

#include <cctype>
#include <charconv>

namespace marlow::debugport {

namespace {

bool IsComName(std::string_view name, int& number) {
    if (name.size() < 4 || name.substr(0, 3) != "COM")
        return false;
    const std::string_view digits = name.substr(3);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc() && end == digits.data() + digits.size() && number >= 1;
}

} // namespace

std::string DebugPortDevice(std::string_view name) {
    if (!name.empty() && name.front() == '/')
        return std::string(name);
    int number = 0;
    if (IsComName(name, number))
        return "/dev/ttyS" + std::to_string(number - 1);
    return "/dev/" + std::string(name);
}

std::string_view ChunkText(std::string_view chunk) {
    return chunk.substr(0, chunk.find('\0'));
}

} // namespace marlow::debugport
