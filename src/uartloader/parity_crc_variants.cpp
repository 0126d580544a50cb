#include "uartloader/parity_crc_variants.h"

#include <array>
#include <cstddef>

// The data bits enter the register at its low end, so after one byte the
// register is (old << 8 | byte) xor whatever the eight bits pushed out of the
// top fed back. That feedback depends on the old top byte alone, which is
// what the tables hold. Pushing k zero bytes through the register is linear
// too, so a whole word of register can be advanced k bytes by four look-ups,
// and data already inside the register is simply more register.

namespace marlow::uartloader::crc_variants {

namespace {

constexpr std::size_t kMaxSliceBytes = 16;

constexpr std::uint32_t ShiftInBit(std::uint32_t crc, unsigned bit) {
    const bool topWasSet = (crc >> 31) != 0;
    crc = (crc << 1) | bit;
    return topWasSet ? crc ^ kPolynomial : crc;
}

constexpr std::uint32_t ShiftInByte(std::uint32_t crc, std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit)
        crc = ShiftInBit(crc, (byte >> bit) & 1u);
    return crc;
}

using Table = std::array<std::uint32_t, 256>;

// tables[k][t]: the register that t in the top byte becomes after k + 1 zero bytes.
constexpr std::array<Table, kMaxSliceBytes> MakeTables() {
    std::array<Table, kMaxSliceBytes> tables{};
    for (std::uint32_t top = 0; top < 256; ++top)
        tables[0][top] = ShiftInByte(top << 24, 0);
    for (std::size_t k = 1; k < kMaxSliceBytes; ++k) {
        for (std::size_t top = 0; top < 256; ++top) {
            const std::uint32_t before = tables[k - 1][top];
            tables[k][top] = (before << 8) ^ tables[0][before >> 24];
        }
    }
    return tables;
}

constexpr std::array<Table, kMaxSliceBytes> kTables = MakeTables();

static_assert(kTables[0][0] == 0);
static_assert(kTables[0][1] == kPolynomial);

constexpr std::uint32_t ShiftInByteByTable(std::uint32_t crc, std::uint8_t byte) {
    return ((crc << 8) | byte) ^ kTables[0][crc >> 24];
}

// The register `value` after `words` * 4 zero bytes have been shifted in.
inline std::uint32_t AdvanceByZeroWords(std::uint32_t value, std::size_t words) {
    if (words == 0)
        return value;
    const std::size_t last = words * 4 - 1;
    return kTables[last][value >> 24] ^ kTables[last - 1][(value >> 16) & 0xFF] ^
           kTables[last - 2][(value >> 8) & 0xFF] ^ kTables[last - 3][value & 0xFF];
}

// Four data bytes as they would stand in the register after being shifted in
// from zero: the first byte ends up on top, and nothing has fed back yet.
std::uint32_t WordAsShiftedIn(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

template <std::size_t Words>
std::uint32_t SliceByWords(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kStepBytes = Words * 4;
    static_assert(kStepBytes <= kMaxSliceBytes);
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left >= kStepBytes) {
        // The register and every data word but the last are carried to the
        // end of the step; the last word lands there exactly as it is.
        std::uint32_t next = AdvanceByZeroWords(crc, Words);
        for (std::size_t w = 0; w < Words; ++w)
            next ^= AdvanceByZeroWords(WordAsShiftedIn(data + 4 * w), Words - 1 - w);
        crc = next;
        data += kStepBytes;
        left -= kStepBytes;
    }
    return Bytewise(crc, {data, left});
}

} // namespace

std::uint32_t Bitwise(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes)
        crc = ShiftInByte(crc, byte);
    return crc;
}

std::uint32_t Bytewise(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes)
        crc = ShiftInByteByTable(crc, byte);
    return crc;
}

std::uint32_t SliceBy4(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    return SliceByWords<1>(crc, bytes);
}

std::uint32_t SliceBy8(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    return SliceByWords<2>(crc, bytes);
}

std::uint32_t SliceBy16(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    return SliceByWords<4>(crc, bytes);
}

} // namespace marlow::uartloader::crc_variants
