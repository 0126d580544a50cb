#include "pda/virtual_bus_frame.h"

#include "common/little_endian.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace marlow::pda {

std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kFrameHeaderSize + payload.size());
    AppendLe32(frame, static_cast<std::uint32_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

void FrameDecoder::Append(std::span<const std::uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

FrameDecoder::Status FrameDecoder::Next(std::vector<std::uint8_t>& frame) {
    if (pending_.size() < kFrameHeaderSize)
        return Status::NeedMore;
    std::array<std::uint8_t, kFrameHeaderSize> header{};
    std::copy_n(pending_.begin(), header.size(), header.begin());
    announced_ = LoadLe32(header);
    if (announced_ > maxFrameLength_)
        return Status::Oversized;
    if (pending_.size() - kFrameHeaderSize < announced_)
        return Status::NeedMore;
    const auto payload = pending_.begin() + kFrameHeaderSize;
    frame.assign(payload, payload + announced_);
    pending_.erase(pending_.begin(), payload + announced_);
    return Status::Frame;
}

} // namespace marlow::pda
