#pragma once
// How stored setting texts turn into values. The stores are text so the
// settings file stays readable and editable by a service technician; these
// rules decide what a hand-edited or damaged value loads as.

#include "pda/download_target.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlow::app {

// Paths pass through 255-byte fields elsewhere in the tool.
inline constexpr std::size_t kMaxPathLength = 254;
// Serial device names here are "/dev/ttyUSB0" and the like, not "COM1", so the
// old four-character limit would lose them; a path's bound fits any of them.
inline constexpr std::size_t kMaxPortNameLength = 254;
inline constexpr std::size_t kMaxBaudTextLength = 259;
inline constexpr std::size_t kMaxUsbDownloaderLength = 63;

inline constexpr std::int32_t kFirstRunBaud = 38400;

// The text when it fits in `maxLength`, otherwise nullopt.
std::optional<std::string> WithinBound(std::string text, std::size_t maxLength);

// Leading decimal digits; text without them gives 0, and anything below 1
// (or too large to be a baud rate) the first-run rate of 38400.
std::int32_t BaudFromText(std::string_view text);

// "RegDownTo": "F" is FLASH, "R" is RAM by the first character; any other
// character, or none, leaves `current`.
pda::DownloadTarget DownloadTargetFromText(std::string_view text, pda::DownloadTarget current);
// The text "RegDownTo" holds for `target`.
const char* DownloadTargetText(pda::DownloadTarget target);

} // namespace marlow::app
