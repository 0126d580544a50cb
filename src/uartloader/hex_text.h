#pragma once
// Address texts of the loader dialog: up to 8 hex digits, upper case only.

#include <cstdint>
#include <string>

namespace marlow::uartloader {

// Right-aligns the text in eight "0"s and adds up the digits. Returns false
// at the first character that is not 0-9 or A-F (lower case included), with
// `out` holding the sum so far, and for texts longer than 8 characters.
bool HexStringToDword(std::string text, std::uint32_t& out);

} // namespace marlow::uartloader
