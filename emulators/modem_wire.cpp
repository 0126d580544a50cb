#include "modem_wire.h"

#include "common/little_endian.h"

#include <algorithm>

namespace marlow::modem {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr auto kCrcTable = MakeCrcTable();

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
    crc = ~crc;
    for (const std::uint8_t b : bytes)
        crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<std::uint8_t> EncodeFrame(const Frame& frame) {
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + frame.payload.size() + kTrailerSize);
    out.push_back(kStartByte);
    out.push_back(static_cast<std::uint8_t>(frame.type));
    out.push_back(frame.sequence);
    AppendLe32(out, static_cast<std::uint32_t>(frame.payload.size()));
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
    const std::span<const std::uint8_t> covered(out.data() + 1, out.size() - 1);
    AppendLe32(out, Crc32(covered));
    return out;
}

void FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void FrameDecoder::DropOne() {
    buffer_.erase(buffer_.begin());
    ++discarded_;
}

std::optional<Frame> FrameDecoder::Next() {
    for (;;) {
        const auto start = std::find(buffer_.begin(), buffer_.end(), kStartByte);
        discarded_ += static_cast<std::size_t>(start - buffer_.begin());
        buffer_.erase(buffer_.begin(), start);
        if (buffer_.size() < kHeaderSize)
            return std::nullopt;
        const std::uint32_t length = LoadLe32(buffer_, 3);
        if (length > kMaxPayload) {
            DropOne();
            continue;
        }
        const std::size_t total = kHeaderSize + length + kTrailerSize;
        if (buffer_.size() < total)
            return std::nullopt;
        const std::span<const std::uint8_t> covered(buffer_.data() + 1, kHeaderSize - 1 + length);
        if (Crc32(covered) != LoadLe32(buffer_, kHeaderSize + length)) {
            DropOne();
            continue;
        }
        Frame frame;
        frame.type = static_cast<FrameType>(buffer_[1]);
        frame.sequence = buffer_[2];
        frame.payload.assign(buffer_.begin() + kHeaderSize,
                             buffer_.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + length));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
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

} // namespace marlow::modem
