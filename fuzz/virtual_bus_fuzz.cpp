// What a device sends the listener, read the way the host reads it: a
// description frame under its 1 KiB bound, then frames under the 16 MiB one,
// arriving in reads of any size. The decoder must cut the stream exactly
// where a plain walk over it does, stop at the first oversized header, and
// turn the description into printable text of at most 1 KiB and a port
// path that is one, or refuse it.
#include "common/little_endian.h"
#include "common/usb_port_path.h"
#include "usb/virtual_bus_frame.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using marlow::usb::FrameDecoder;
using Frames = std::vector<std::vector<std::uint8_t>>;

// The whole stream at once, frame by frame.
Frames Walk(std::span<const std::uint8_t> stream, bool& refused) {
    using namespace marlow::usb;
    Frames frames;
    refused = false;
    while (stream.size() >= kFrameHeaderSize) {
        const std::uint32_t length = marlow::LoadLe32(stream);
        const std::uint32_t bound =
            frames.empty() ? kVirtualBusMaxDescription : kVirtualBusMaxFrame;
        if (length > bound) {
            refused = true;
            break;
        }
        if (stream.size() - kFrameHeaderSize < length)
            break;
        frames.emplace_back(stream.begin() + kFrameHeaderSize,
                            stream.begin() + kFrameHeaderSize + length);
        stream = stream.subspan(kFrameHeaderSize + length);
    }
    return frames;
}

// In reads whose sizes the first input byte picks, as a socket delivers it.
Frames Decode(std::span<const std::uint8_t> stream, std::uint8_t pieceSeed, bool& refused) {
    using namespace marlow::usb;
    FrameDecoder decoder(kVirtualBusMaxDescription);
    Frames frames;
    refused = false;
    std::size_t piece = 1 + pieceSeed % 61;
    while (!stream.empty() && !refused) {
        const std::size_t n = std::min(piece, stream.size());
        const std::span<std::uint8_t> room = decoder.Space(n);
        std::copy_n(stream.begin(), n, room.begin());
        decoder.Commit(n);
        stream = stream.subspan(n);
        piece = piece * 7 % 1031 + 1;
        std::span<const std::uint8_t> frame;
        for (;;) {
            const FrameDecoder::Status status = decoder.Next(frame);
            if (status == FrameDecoder::Status::Oversized)
                refused = true;
            if (status != FrameDecoder::Status::Frame)
                break;
            frames.emplace_back(frame.begin(), frame.end());
            decoder.SetMaxFrameLength(kVirtualBusMaxFrame);
        }
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::usb;
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    bool walkRefused = false;
    bool decodeRefused = false;
    const Frames walked = Walk(stream, walkRefused);
    const Frames decoded = Decode(stream, data[0], decodeRefused);
    if (walked != decoded || walkRefused != decodeRefused)
        std::abort();
    if (decoded.empty())
        return 0;
    const marlow::Result<VirtualDeviceDescription> description = ParseDescription(decoded.front());
    if (!description)
        return 0;
    const std::string& text = description->text;
    if (text.empty() || text.size() > kVirtualBusMaxDescription)
        std::abort();
    for (const char c : text)
        if (c < 0x20 || c >= 0x7f)
            std::abort();
    if (!description->portPath.empty() && !marlow::IsUsbPortPath(description->portPath))
        std::abort();
    return 0;
}
