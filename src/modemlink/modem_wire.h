#pragma once
// The modem download link: the framed, checksummed protocol between the
// stand-in download library (host) and the modem (or its emulator) over the
// modem's serial port. docs/modem-protocol.md describes it for people; this
// is the one place that builds and checks its frames.
//
//   0xA5 | type | sequence | length (u32 LE) | payload | CRC-32 (u32 LE)
//
// The CRC covers type, sequence, length and payload.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::modemlink {

inline constexpr std::uint8_t kStartByte = 0xA5;
inline constexpr std::size_t kHeaderSize = 7; // start, type, sequence, length
inline constexpr std::size_t kTrailerSize = 4;
inline constexpr std::size_t kMaxPayload = 8192;
inline constexpr std::size_t kDataChunk = 4096; // file bytes per FileData frame

enum class FrameType : std::uint8_t {
    // host to modem
    Boot = 0x01,
    FileBegin = 0x02,
    FileData = 0x03,
    FileEnd = 0x04,
    EndOfProcess = 0x05,
    Abort = 0x06,
    // modem to host
    Ack = 0x80,
    Ready = 0x81,
    Error = 0x8F,
};

const char* FrameTypeName(FrameType type);

struct Frame {
    FrameType type = FrameType::Ack;
    std::uint8_t sequence = 0;
    std::vector<std::uint8_t> payload;
    // The CRC-32 a decoded frame came with (FrameDecoder checked it), so that
    // the payload's own CRCs can be had without going over it again.
    // EncodeFrame writes its own; two frames that say the same are equal.
    std::uint32_t crc = 0;
    bool operator==(const Frame& other) const {
        return type == other.type && sequence == other.sequence && payload == other.payload;
    }
};

// IEEE 802.3 CRC-32 (zlib's); pass the previous result to go on over more bytes.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);
// The CRC-32 of bytes A then B from the CRCs of A and of B (B `lengthB` long).
std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::size_t lengthB);

std::vector<std::uint8_t> EncodeFrame(const Frame& frame);
// The same frame when the CRC-32 of the payload's last `tailLength` bytes is
// known already (FileData's file bytes, whose CRC the file's needs too): the
// tail is then copied but not read again for the frame's CRC.
std::vector<std::uint8_t> EncodeFrame(const Frame& frame, std::uint32_t tailCrc,
                                      std::size_t tailLength);

// Collects bytes as they come and gives back whole, intact frames. Bytes
// before a start byte, frames with a bad checksum and lengths above
// kMaxPayload are skipped (counted in Discarded()); the hunt goes on from the
// next start byte.
class FrameDecoder {
public:
    void Feed(std::span<const std::uint8_t> bytes);
    std::optional<Frame> Next();
    std::size_t Discarded() const { return discarded_; }
    // True while bytes are held that Next could not make a frame of yet.
    bool MidFrame() const { return taken_ < buffer_.size(); }

private:
    void DropOne();
    std::vector<std::uint8_t> buffer_;
    std::size_t taken_ = 0; // bytes at the front already decoded or skipped
    std::size_t discarded_ = 0;
};

// --- payloads

enum class FileKind : std::uint8_t { Fls = 1, Eep = 2 };

using ControlBlock = std::array<std::uint8_t, 6>;

struct BootRequest {
    ControlBlock controlBlock{};
    std::string firmwareName; // the file name only, for the modem's log
    bool operator==(const BootRequest&) const = default;
};

struct FileBegin {
    FileKind kind = FileKind::Fls;
    std::uint32_t option = 0;
    std::uint32_t size = 0;
    std::string name;
    bool operator==(const FileBegin&) const = default;
};

struct FileData {
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const FileData&) const = default;
};

std::vector<std::uint8_t> EncodeBoot(const BootRequest& request);
std::optional<BootRequest> DecodeBoot(std::span<const std::uint8_t> payload);

std::vector<std::uint8_t> EncodeFileBegin(const FileBegin& begin);
std::optional<FileBegin> DecodeFileBegin(std::span<const std::uint8_t> payload);

std::vector<std::uint8_t> EncodeFileData(std::uint32_t offset, std::span<const std::uint8_t> bytes);
std::optional<FileData> DecodeFileData(std::span<const std::uint8_t> payload);
// The CRC-32 of a decoded FileData frame's file bytes, worked out from the
// CRC the frame came with instead of from the bytes.
std::uint32_t FileDataCrc(const Frame& frame);

// FileEnd carries the CRC-32 of the whole file.
std::vector<std::uint8_t> EncodeFileEnd(std::uint32_t fileCrc);
std::optional<std::uint32_t> DecodeFileEnd(std::span<const std::uint8_t> payload);

// Ready and Error carry a text.
std::vector<std::uint8_t> EncodeText(std::string_view text);
std::string DecodeText(std::span<const std::uint8_t> payload);

} // namespace marlow::modemlink
