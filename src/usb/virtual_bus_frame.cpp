#include "usb/virtual_bus_frame.h"

#include "common/little_endian.h"
#include "common/printable_text.h"
#include "common/usb_port_path.h"

#include <algorithm>
#include <cstring>

namespace marlow::usb {
namespace {

constexpr std::string_view kPortField = "port=";
constexpr std::string_view kSerialField = "serial=";

bool PrintableAscii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return c >= 0x20 && c < 0x7f; });
}

} // namespace

std::array<std::uint8_t, kFrameHeaderSize> FrameHeader(std::uint32_t payloadLength) {
    std::array<std::uint8_t, kFrameHeaderSize> header{};
    StoreLe32(header, 0, payloadLength);
    return header;
}

std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame(kFrameHeaderSize + payload.size());
    StoreLe32(frame, 0, static_cast<std::uint32_t>(payload.size()));
    std::ranges::copy(payload, frame.begin() + kFrameHeaderSize);
    return frame;
}

std::string DescriptionText(std::span<const std::uint8_t> frame) {
    std::string text;
    text.reserve(frame.size());
    for (const std::uint8_t byte : frame)
        text += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '?';
    return text.empty() ? "Virtual USB device" : text;
}

std::vector<std::uint8_t> DescriptionFrame(const VirtualDeviceDescription& description) {
    std::string frame(description.text);
    if (!description.portPath.empty())
        frame.append("\n").append(kPortField).append(description.portPath);
    if (!description.serialNumber.empty())
        frame.append("\n").append(kSerialField).append(description.serialNumber);
    return {frame.begin(), frame.end()};
}

Result<VirtualDeviceDescription> ParseDescription(std::span<const std::uint8_t> frame) {
    const std::string_view all(reinterpret_cast<const char*>(frame.data()), frame.size());
    std::size_t lineEnd = all.find('\n');
    VirtualDeviceDescription description{
        .text = DescriptionText(frame.first(std::min(lineEnd, frame.size())))};
    while (lineEnd != std::string_view::npos) {
        const std::size_t begin = lineEnd + 1;
        lineEnd = all.find('\n', begin);
        const std::string_view field = lineEnd == std::string_view::npos
                                           ? all.substr(begin)
                                           : all.substr(begin, lineEnd - begin);
        if (field.starts_with(kSerialField)) {
            const std::string_view serial = field.substr(kSerialField.size());
            if (!PrintableAscii(serial))
                return Failure{" gave the serial number \"" + Printable(serial) +
                               "\", which holds bytes outside printable ASCII; disconnected as "
                               "garbage"};
            description.serialNumber = serial;
            continue;
        }
        if (!field.starts_with(kPortField))
            continue;
        const std::string_view port = field.substr(kPortField.size());
        if (!IsUsbPortPath(port))
            return Failure{" gave the port path \"" + Printable(port) +
                           "\", which is no USB port path (such as 1-2.3); disconnected as "
                           "garbage"};
        description.portPath = port;
    }
    return description;
}

std::span<std::uint8_t> FrameDecoder::Space(std::size_t atLeast) {
    if (buffer_.size() - end_ < atLeast && begin_ > 0) {
        // Only the unfinished frame moves, and only when room runs out.
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buffer_.size() - end_ < atLeast)
        buffer_.resize(std::max(end_ + atLeast, 2 * buffer_.size()));
    return std::span(buffer_).subspan(end_);
}

void FrameDecoder::Commit(std::size_t count) {
    end_ = std::min(end_ + count, buffer_.size());
}

void FrameDecoder::Append(std::span<const std::uint8_t> bytes) {
    std::ranges::copy(bytes, Space(bytes.size()).begin());
    Commit(bytes.size());
}

FrameDecoder::Status FrameDecoder::Next(std::span<const std::uint8_t>& frame) {
    const std::span<const std::uint8_t> pending(buffer_.data() + begin_, end_ - begin_);
    if (pending.size() < kFrameHeaderSize)
        return Status::NeedMore;
    announced_ = LoadLe32(pending);
    if (announced_ > maxFrameLength_)
        return Status::Oversized;
    if (pending.size() - kFrameHeaderSize < announced_)
        return Status::NeedMore;
    frame = pending.subspan(kFrameHeaderSize, announced_);
    begin_ += kFrameHeaderSize + announced_;
    if (begin_ == end_) // all consumed: the next bytes start at the front again
        begin_ = end_ = 0;
    return Status::Frame;
}

} // namespace marlow::usb
