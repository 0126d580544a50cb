#pragma once
// Where a USB device is plugged in, as the kernel names it: the bus number,
// a dash and the port numbers from the root hub down, joined by dots
// ("1-2.3"). The same handset keeps it while it re-enumerates (boot loader,
// then modem), which is what lets a station tell its slots apart.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace marlow {

// USB allows at most seven tiers below the root hub.
inline constexpr std::size_t kMaxUsbPortDepth = 7;

// "1-2.3"; "1-0" for a root hub, which sits on no port.
std::string FormatUsbPortPath(std::uint8_t bus, std::span<const std::uint8_t> ports);

// A bus number (1 to 255), a dash and one to seven port numbers (1 to 255)
// joined by dots, in plain decimal without leading zeros.
bool IsUsbPortPath(std::string_view text);

} // namespace marlow
