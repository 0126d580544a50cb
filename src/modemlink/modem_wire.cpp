#include "modemlink/modem_wire.h"

#include "common/little_endian.h"

#include <algorithm>
#include <zlib.h>

namespace marlow::modemlink {
namespace {

void AppendText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

std::string TextFrom(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

const char* FrameTypeName(FrameType type) {
    switch (type) {
    case FrameType::Boot:
        return "Boot";
    case FrameType::FileBegin:
        return "FileBegin";
    case FrameType::FileData:
        return "FileData";
    case FrameType::FileEnd:
        return "FileEnd";
    case FrameType::EndOfProcess:
        return "EndOfProcess";
    case FrameType::Abort:
        return "Abort";
    case FrameType::Ack:
        return "Ack";
    case FrameType::Ready:
        return "Ready";
    case FrameType::Error:
        return "Error";
    }
    return "unknown";
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    // zlib reads a null buffer as a request for the initial value.
    if (bytes.empty())
        return crc;
    return static_cast<std::uint32_t>(::crc32_z(crc, bytes.data(), bytes.size()));
}

std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::size_t lengthB) {
    return static_cast<std::uint32_t>(::crc32_combine(crcA, crcB, static_cast<z_off_t>(lengthB)));
}

std::vector<std::uint8_t> EncodeFrame(const Frame& frame) {
    return EncodeFrame(frame, 0, 0);
}

std::vector<std::uint8_t> EncodeFrame(const Frame& frame, std::uint32_t tailCrc,
                                      std::size_t tailLength) {
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + frame.payload.size() + kTrailerSize);
    out.push_back(kStartByte);
    out.push_back(static_cast<std::uint8_t>(frame.type));
    out.push_back(frame.sequence);
    AppendLe32(out, static_cast<std::uint32_t>(frame.payload.size()));
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
    tailLength = std::min(tailLength, frame.payload.size());
    const std::span<const std::uint8_t> head(out.data() + 1, out.size() - 1 - tailLength);
    AppendLe32(out, Crc32Combine(Crc32(head), tailCrc, tailLength));
    return out;
}

void FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
    // What was taken goes once it is the larger part, so the buffer neither
    // grows without end nor moves its bytes for every frame.
    if (taken_ > 0 && taken_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(taken_));
        taken_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void FrameDecoder::DropOne() {
    ++taken_;
    ++discarded_;
}

std::optional<Frame> FrameDecoder::Next() {
    for (;;) {
        const auto from = buffer_.begin() + static_cast<std::ptrdiff_t>(taken_);
        const auto start = std::find(from, buffer_.end(), kStartByte);
        discarded_ += static_cast<std::size_t>(start - from);
        taken_ = static_cast<std::size_t>(start - buffer_.begin());
        const std::span<const std::uint8_t> rest(buffer_.data() + taken_, buffer_.size() - taken_);
        if (rest.size() < kHeaderSize)
            return std::nullopt;
        const std::uint32_t length = LoadLe32(rest, 3);
        if (length > kMaxPayload) {
            DropOne();
            continue;
        }
        const std::size_t total = kHeaderSize + length + kTrailerSize;
        if (rest.size() < total)
            return std::nullopt;
        if (Crc32(rest.subspan(1, kHeaderSize - 1 + length)) !=
            LoadLe32(rest, kHeaderSize + length)) {
            DropOne();
            continue;
        }
        Frame frame;
        frame.type = static_cast<FrameType>(rest[1]);
        frame.sequence = rest[2];
        frame.crc = LoadLe32(rest, kHeaderSize + length);
        const auto payload = rest.subspan(kHeaderSize, length);
        frame.payload.assign(payload.begin(), payload.end());
        taken_ += total;
        if (taken_ == buffer_.size()) {
            buffer_.clear();
            taken_ = 0;
        }
        return frame;
    }
}

std::vector<std::uint8_t> EncodeBoot(const BootRequest& request) {
    std::vector<std::uint8_t> out(request.controlBlock.begin(), request.controlBlock.end());
    AppendText(out, request.firmwareName);
    return out;
}

std::optional<BootRequest> DecodeBoot(std::span<const std::uint8_t> payload) {
    BootRequest request;
    if (payload.size() < request.controlBlock.size())
        return std::nullopt;
    std::copy_n(payload.begin(), request.controlBlock.size(), request.controlBlock.begin());
    request.firmwareName = TextFrom(payload.subspan(request.controlBlock.size()));
    return request;
}

std::vector<std::uint8_t> EncodeFileBegin(const FileBegin& begin) {
    std::vector<std::uint8_t> out;
    out.push_back(static_cast<std::uint8_t>(begin.kind));
    AppendLe32(out, begin.option);
    AppendLe32(out, begin.size);
    AppendText(out, begin.name);
    return out;
}

std::optional<FileBegin> DecodeFileBegin(std::span<const std::uint8_t> payload) {
    if (payload.size() < 9)
        return std::nullopt;
    const auto kind = static_cast<FileKind>(payload[0]);
    if (kind != FileKind::Fls && kind != FileKind::Eep)
        return std::nullopt;
    FileBegin begin;
    begin.kind = kind;
    begin.option = LoadLe32(payload, 1);
    begin.size = LoadLe32(payload, 5);
    begin.name = TextFrom(payload.subspan(9));
    return begin;
}

std::vector<std::uint8_t> EncodeFileData(std::uint32_t offset,
                                         std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(4 + bytes.size());
    AppendLe32(out, offset);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::optional<FileData> DecodeFileData(std::span<const std::uint8_t> payload) {
    if (payload.size() < 4)
        return std::nullopt;
    FileData data;
    data.offset = LoadLe32(payload, 0);
    data.bytes.assign(payload.begin() + 4, payload.end());
    return data;
}

std::uint32_t FileDataCrc(const Frame& frame) {
    // The frame's CRC covers type, sequence, length, offset and file bytes.
    // CRC-32 is linear: taking out what those first ten bytes contribute
    // leaves the file bytes' own CRC.
    constexpr std::size_t kOffsetSize = 4;
    if (frame.payload.size() < kOffsetSize)
        return 0;
    std::array<std::uint8_t, kHeaderSize - 1 + kOffsetSize> head{
        static_cast<std::uint8_t>(frame.type), frame.sequence};
    StoreLe32(head, 2, static_cast<std::uint32_t>(frame.payload.size()));
    std::copy_n(frame.payload.begin(), kOffsetSize, head.begin() + kHeaderSize - 1);
    return frame.crc ^ Crc32Combine(Crc32(head), 0, frame.payload.size() - kOffsetSize);
}

std::vector<std::uint8_t> EncodeFileEnd(std::uint32_t fileCrc) {
    std::vector<std::uint8_t> out;
    AppendLe32(out, fileCrc);
    return out;
}

std::optional<std::uint32_t> DecodeFileEnd(std::span<const std::uint8_t> payload) {
    if (payload.size() != 4)
        return std::nullopt;
    return LoadLe32(payload, 0);
}

std::vector<std::uint8_t> EncodeText(std::string_view text) {
    std::vector<std::uint8_t> out;
    AppendText(out, text.substr(0, kMaxPayload));
    return out;
}

std::string DecodeText(std::span<const std::uint8_t> payload) {
    return TextFrom(payload);
}

} // namespace marlow::modemlink
