#pragma once
// The ways of computing the loader's CRC, side by side so that the tests can
// hold each one against the bit-by-bit definition and the benchmark can show
// what each step of the speed-up buys. Production code calls parity_crc.h.
//
// Every variant continues from `crc`, so a buffer may be fed in pieces.

#include <cstdint>
#include <span>

namespace marlow::uartloader::crc_variants {

inline constexpr std::uint32_t kPolynomial = 0x04C11DB7;
inline constexpr std::uint32_t kInitialRegister = 0xFFFFFFFF;

// Eight shifts per byte, exactly as the handset's boot flasher defines it.
std::uint32_t Bitwise(std::uint32_t crc, std::span<const std::uint8_t> bytes);

// One table look-up per byte.
std::uint32_t Bytewise(std::uint32_t crc, std::span<const std::uint8_t> bytes);

// Four, eight or sixteen bytes per step with as many independent look-ups.
std::uint32_t SliceBy4(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t SliceBy8(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t SliceBy16(std::uint32_t crc, std::span<const std::uint8_t> bytes);

} // namespace marlow::uartloader::crc_variants
