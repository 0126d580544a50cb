#pragma once
// The virtual USB bus's framing, both directions: a 4-byte little-endian
// length N, then N bytes; N = 0 is a zero-length packet. The decoder judges
// a frame by its header, so a device sending garbage is refused after one
// read instead of making the host wait for (and buffer) gigabytes.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace marlow::pda {

inline constexpr std::size_t kFrameHeaderSize = 4;
// Far above the largest boot loader packet (8205 bytes) and reply.
inline constexpr std::uint32_t kVirtualBusMaxFrame = 16u * 1024u * 1024u;
// A device describes itself in one line of text.
inline constexpr std::uint32_t kVirtualBusMaxDescription = 1024;

std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> payload);

class FrameDecoder {
public:
    explicit FrameDecoder(std::uint32_t maxFrameLength) : maxFrameLength_(maxFrameLength) {}

    enum class Status {
        Frame,    // `frame` holds the next frame (possibly empty)
        NeedMore, // no complete frame yet
        Oversized // the next frame announces more than the bound
    };

    void Append(std::span<const std::uint8_t> bytes);
    Status Next(std::vector<std::uint8_t>& frame);

    // The length the pending frame announced (meaningful after Oversized).
    std::uint32_t AnnouncedLength() const { return announced_; }
    void SetMaxFrameLength(std::uint32_t maxFrameLength) { maxFrameLength_ = maxFrameLength; }
    std::uint32_t MaxFrameLength() const { return maxFrameLength_; }
    bool Empty() const { return pending_.empty(); }

private:
    std::uint32_t maxFrameLength_;
    std::uint32_t announced_ = 0;
    std::deque<std::uint8_t> pending_;
};

} // namespace marlow::pda
