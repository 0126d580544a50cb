#include "uartloader/hex_text.h"

#include <optional>

namespace marlow::uartloader {

namespace {

constexpr std::size_t kFieldWidth = 8;

// Lower case is refused like any other stray character, so that a text
// means the same to every tool that reads these settings files.
std::optional<std::uint32_t> HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint32_t>(c - 'A' + 10);
    return std::nullopt;
}

} // namespace

bool HexStringToDword(std::string text, std::uint32_t& out) {
    out = 0;
    // A hand-edited settings file can carry a longer text than the dialog's
    // fields allow; it cannot be right-aligned into the field, so refuse it.
    if (text.size() > kFieldWidth)
        return false;
    const std::string field = std::string(kFieldWidth - text.size(), '0') + text;
    for (std::size_t i = 0; i < kFieldWidth; ++i) {
        const std::optional<std::uint32_t> digit = HexDigitValue(field[i]);
        if (!digit)
            return false;
        out += *digit << (4 * (kFieldWidth - 1 - i));
    }
    return true;
}

} // namespace marlow::uartloader
