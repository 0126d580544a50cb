#pragma once
// The 32-bit CRC that guards every partition header and frame of the UART
// flash loader: polynomial 0x04C11DB7, register preset 0xFFFFFFFF, data bits
// shifted in at the low end (MSB first), no reflection, no final inversion.
// Not CRC-32/MPEG-2: there the byte enters at the top of the register.

#include <cstdint>
#include <span>

namespace marlow::uartloader {

// The table-driven fast form; used everywhere.
std::uint32_t CalcParityCrc(std::span<const std::uint8_t> bytes);

// Continue a CRC over more data (CalcParityCrc(a+b) == ContinueParityCrc(CalcParityCrc(a), b)).
std::uint32_t ContinueParityCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes);

// The bit-by-bit definition, kept as the test oracle and the benchmark baseline.
std::uint32_t CalcParityCrcBitwise(std::span<const std::uint8_t> bytes);

} // namespace marlow::uartloader
