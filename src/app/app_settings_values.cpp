#include "app/app_settings_values.h"

#include <limits>

namespace marlow::app {

std::optional<std::string> WithinBound(std::string text, std::size_t maxLength) {
    if (text.size() > maxLength)
        return std::nullopt;
    return text;
}

std::int32_t BaudFromText(std::string_view text) {
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return kFirstRunBaud;
    }
    return value < 1 ? kFirstRunBaud : static_cast<std::int32_t>(value);
}

std::int32_t DownloadTargetFromText(std::string_view text, std::int32_t current) {
    if (text.empty())
        return current;
    switch (text.front()) {
    case 'F':
        return kDownloadToFlash;
    case 'R':
        return kDownloadToRam;
    default:
        return current;
    }
}

} // namespace marlow::app
