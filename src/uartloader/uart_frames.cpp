#include "uartloader/uart_frames.h"

#include "common/little_endian.h"
#include "uartloader/parity_crc.h"

#include <algorithm>
#include <cstdio>

namespace marlow::uartloader {

Word WordBytes(std::uint32_t value) {
    Word bytes{};
    StoreLe32(bytes, 0, value);
    return bytes;
}

std::optional<std::size_t> FindAsicIdPattern(std::span<const std::uint8_t> firstBytes) {
    for (std::size_t position = 0; position <= kAsicIdLastPosition; ++position) {
        if (position + kAsicIdPattern.size() > firstBytes.size())
            break;
        if (std::equal(kAsicIdPattern.begin(), kAsicIdPattern.end(),
                       firstBytes.begin() + static_cast<std::ptrdiff_t>(position)))
            return position;
    }
    return std::nullopt;
}

std::array<std::uint8_t, kPartitionHeaderSize>
BuildPartitionHeader(std::uint32_t size, std::uint32_t entryPoint, std::uint32_t extAddress) {
    std::array<std::uint8_t, kPartitionHeaderSize> header{};
    StoreLe32(header, 0, size);
    StoreLe32(header, 4, entryPoint);
    StoreLe32(header, 8, extAddress);
    StoreLe32(header, 12, CalcParityCrc(std::span(header).first(12)));
    return header;
}

void SealParityFrame(std::span<std::uint8_t> frame) {
    const std::size_t chunkSize = frame.size() - kWordSize;
    StoreLe32(frame, chunkSize, CalcParityCrc(frame.first(chunkSize)));
}

std::string MessageText(std::span<const std::uint8_t> received, std::size_t skip) {
    if (skip >= received.size())
        return {};
    const auto text = received.subspan(skip);
    const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    return std::string(text.begin(), end);
}

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::vector<std::uint8_t> BuildAsicIdBlock(std::size_t position) {
    const std::size_t total = kAsicIdFirstRead + position + kAsicIdTail;
    // 0xA5 never occurs in the pattern, so the filler cannot form it.
    std::vector<std::uint8_t> block(total, 0xA5);
    if (position + kAsicIdPattern.size() <= total)
        std::copy(kAsicIdPattern.begin(), kAsicIdPattern.end(),
                  block.begin() + static_cast<std::ptrdiff_t>(position));
    return block;
}

PartitionHeader ParsePartitionHeader(std::span<const std::uint8_t, kPartitionHeaderSize> bytes) {
    PartitionHeader header;
    header.size = LoadLe32(bytes, 0);
    header.entryPoint = LoadLe32(bytes, 4);
    header.extAddress = LoadLe32(bytes, 8);
    header.crc = LoadLe32(bytes, 12);
    header.crcValid = header.crc == CalcParityCrc(bytes.first(12));
    return header;
}

bool ParityFrameIsValid(std::span<const std::uint8_t> frame) {
    if (frame.size() < kWordSize)
        return false;
    const std::size_t chunkSize = frame.size() - kWordSize;
    return LoadLe32(frame, chunkSize) == CalcParityCrc(frame.first(chunkSize));
}

} // namespace marlow::uartloader
