#pragma once
// The virtual USB bus's framing, both directions: a 4-byte little-endian
// length N, then N bytes; N = 0 is a zero-length packet. The decoder judges
// a frame by its header, so a device sending garbage is refused after one
// read instead of making the host wait for (and buffer) gigabytes.
//
// The decoder owns one buffer that sockets read straight into (Space, then
// Commit) and hands frames out as views of it: no frame is copied, nothing
// is allocated once the buffer has grown to the traffic, and consumed bytes
// are never shifted away one frame at a time.

#include "common/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::usb {

inline constexpr std::size_t kFrameHeaderSize = 4;
// Far above the largest boot loader packet (8205 bytes) and reply.
inline constexpr std::uint32_t kVirtualBusMaxFrame = 16u * 1024u * 1024u;
// A device describes itself in one line of text.
inline constexpr std::uint32_t kVirtualBusMaxDescription = 1024;

std::array<std::uint8_t, kFrameHeaderSize> FrameHeader(std::uint32_t payloadLength);
std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> payload);

// A device's description as the operator sees it: bytes outside printable
// ASCII become '?', and an empty one is "Virtual USB device".
std::string DescriptionText(std::span<const std::uint8_t> frame);

// What a device says about itself in its description frame.
struct VirtualDeviceDescription {
    std::string text;           // as DescriptionText shows it
    std::string portPath{};     // "1-2.3"; empty when the device does not say
    std::string serialNumber{}; // as a real device's serial number string; empty: none
    bool operator==(const VirtualDeviceDescription&) const = default;
};

// The description frame: the text, then "\nport=" and the port path and
// "\nserial=" and the serial number, each where the device names one.
std::vector<std::uint8_t> DescriptionFrame(const VirtualDeviceDescription& description);

// The frame read back. Its first line is the text; each further line is a
// field "name=value". Fields other than "port" and "serial" are left for
// later hosts to read, so a device may say more than this host knows. A
// port that is no USB port path, or a serial number with bytes outside
// printable ASCII, is refused with the reason: a host must never guess
// which slot a device sits in, nor which handset it is.
Result<VirtualDeviceDescription> ParseDescription(std::span<const std::uint8_t> frame);

class FrameDecoder {
public:
    explicit FrameDecoder(std::uint32_t maxFrameLength) : maxFrameLength_(maxFrameLength) {}

    enum class Status {
        Frame,    // `frame` views the next frame (possibly empty)
        NeedMore, // no complete frame yet
        Oversized // the next frame announces more than the bound
    };

    // Room for at least `atLeast` more bytes after the pending ones. Making
    // room may move the pending bytes, which ends every frame view.
    std::span<std::uint8_t> Space(std::size_t atLeast);
    // `count` bytes of the Space just taken now hold received bytes.
    void Commit(std::size_t count);
    void Append(std::span<const std::uint8_t> bytes);

    // A Frame's view stays valid until the next Space or Append.
    Status Next(std::span<const std::uint8_t>& frame);

    // The length the pending frame announced (meaningful after Oversized).
    std::uint32_t AnnouncedLength() const { return announced_; }
    void SetMaxFrameLength(std::uint32_t maxFrameLength) { maxFrameLength_ = maxFrameLength; }
    std::uint32_t MaxFrameLength() const { return maxFrameLength_; }
    bool Empty() const { return begin_ == end_; }

private:
    std::uint32_t maxFrameLength_;
    std::uint32_t announced_ = 0;
    // Pending bytes are buffer_[begin_, end_); the rest is room.
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

} // namespace marlow::usb
