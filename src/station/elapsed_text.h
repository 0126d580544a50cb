#pragma once
// How long a slot's run has taken, as the station's board and its window
// both show it: m:ss, and h:mm:ss from the first hour on.

#include <cstdint>
#include <cstdio>
#include <string>

namespace marlow::station {

inline std::string ElapsedText(std::int64_t seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(
            text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
            static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

} // namespace marlow::station
