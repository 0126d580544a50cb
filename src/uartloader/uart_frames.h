#pragma once
// Every byte layout of the UART boot protocol, both directions, as pure
// functions: the tool's words, partition header and CRC frames, and the
// handset's ASIC ID block, header and frame checks (used by the emulator).
// Words are 32-bit little-endian throughout.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace marlow::uartloader {

inline constexpr std::array<std::uint8_t, 7> kAsicIdPattern = {0x05, 0x01, 0x05, 0x01,
                                                               0x00, 0x88, 0x10};
// The first read from the boot ROM; the pattern may start at 0 to 12 in it.
inline constexpr std::size_t kAsicIdFirstRead = 20;
inline constexpr std::size_t kAsicIdLastPosition = 12;
// After the first read, position + 45 more bytes end the block, so that 65
// bytes counted from the pattern's first byte are consumed.
inline constexpr std::size_t kAsicIdTail = 45;

inline constexpr std::size_t kWordSize = 4;
inline constexpr std::size_t kPartitionHeaderSize = 16;
inline constexpr std::uint32_t kAckAccepted = 0;
inline constexpr std::uint8_t kPingReply = 0x01;

// The receive buffer for texts: a longer message is refused.
inline constexpr std::size_t kReceiveBufferSize = 1024;

using Word = std::array<std::uint8_t, kWordSize>;

Word WordBytes(std::uint32_t value);

// Lowest start position (0 to 12) of the pattern in the first 20 bytes.
std::optional<std::size_t> FindAsicIdPattern(std::span<const std::uint8_t> firstBytes);

// Size, entry point, ext. address, then the CRC over those 12 bytes.
std::array<std::uint8_t, kPartitionHeaderSize>
BuildPartitionHeader(std::uint32_t size, std::uint32_t entryPoint, std::uint32_t extAddress);

// `frame` is a chunk followed by 4 bytes: stores the chunk's CRC there.
void SealParityFrame(std::span<std::uint8_t> frame);

// The text of a message request: from byte `skip` up to the first NUL, or
// to the end of what was received when there is none.
std::string MessageText(std::span<const std::uint8_t> received, std::size_t skip);

// "F0030002": eight upper-case hex digits.
std::string Hex8(std::uint32_t value);

// Handset side ---------------------------------------------------------------

// The boot ROM's block: `position` filler bytes, the pattern, then filler up
// to 20 + position + 45 bytes in all. Filler never forms the pattern.
std::vector<std::uint8_t> BuildAsicIdBlock(std::size_t position);

struct PartitionHeader {
    std::uint32_t size = 0;
    std::uint32_t entryPoint = 0;
    std::uint32_t extAddress = 0;
    std::uint32_t crc = 0;
    bool crcValid = false;
};
PartitionHeader ParsePartitionHeader(std::span<const std::uint8_t, kPartitionHeaderSize> bytes);

// True when the frame's last 4 bytes hold the CRC of the bytes before them.
bool ParityFrameIsValid(std::span<const std::uint8_t> frame);

} // namespace marlow::uartloader
