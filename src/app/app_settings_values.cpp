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

pda::DownloadTarget DownloadTargetFromText(std::string_view text, pda::DownloadTarget current) {
    if (text.empty())
        return current;
    switch (text.front()) {
    case 'F':
        return pda::DownloadTarget::Flash;
    case 'R':
        return pda::DownloadTarget::Ram;
    default:
        return current;
    }
}

const char* DownloadTargetText(pda::DownloadTarget target) {
    return target == pda::DownloadTarget::Ram ? "R" : "F";
}

} // namespace marlow::app
