#pragma once
// Colours as the program's texts name them: a colour reference 0x00BBGGRR,
// so 0xff is red, 0xff0000 blue and 0x004080FF orange (red 255, green 128,
// blue 64).

#include <QColor>
#include <cstdint>

namespace marlow::controls {

inline constexpr std::uint32_t kColorRefRed = 0x0000ff;
inline constexpr std::uint32_t kColorRefBlue = 0xff0000;
inline constexpr std::uint32_t kColorRefOrange = 0x004080ff;

inline QColor FromColorRef(std::uint32_t colorRef) {
    return QColor(static_cast<int>(colorRef & 0xff), static_cast<int>((colorRef >> 8) & 0xff),
                  static_cast<int>((colorRef >> 16) & 0xff));
}

} // namespace marlow::controls
