#pragma once
// The PDA boot loader's wire protocol: eight one-byte commands, the packets
// that carry them and the one-byte replies. Every host packet is built by
// PdaPacketBuilder and every reply is judged by AwaitReply/AwaitFlashWritten,
// so the byte layout and the reply rules live in exactly one place each.

#include "pda/boot_image.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marlow::pda {

enum class PdaCommand : std::uint8_t {
    ERASE_RAM_CMD = 0x01,
    RECORD_DATA_CMD = 0x02,
    LAST_DATA_IN_RECORD = 0x03,
    LAST_DATA_IN_IMAGE = 0x04,
    WRITE_FLSH_CMD = 0x05,
    DOWNLOAD_DONE_CMD = 0x06,
    USB_UNLOAD_CMD = 0x07,
    PHONE_DOWN_CMD = 0x08,
};

inline constexpr std::uint8_t NAK = 0x00;

inline constexpr std::size_t kEraseRamPacketSize = 9;
inline constexpr std::size_t kRecordPacketHeaderSize = 13;
inline constexpr std::size_t kLastDataInImagePacketSize = 13;
inline constexpr std::size_t kMaxPacketSize = kRecordPacketHeaderSize + kMaxChunk; // 8205

// The number of unexpected reply bytes a reply wait passes over.
inline constexpr int kReplyAttempts = 50;
inline constexpr std::chrono::milliseconds kReplyPause{100};

std::uint8_t CodeOf(PdaCommand command);
// "ERASE_RAM_CMD" ... ; "0xNN" for a byte that is no command.
std::string CommandName(std::uint8_t code);
// One-byte packets: everything but ERASE_RAM_CMD, RECORD_DATA_CMD and
// LAST_DATA_IN_IMAGE.
bool IsSingleByteCommand(PdaCommand command);

// Record data packets are built a batch at a time, so that one read of the
// image fills the data of them all.
inline constexpr std::size_t kRecordDataBatch = 32;

// Builds host packets into buffers taken once per run: one for the short
// packets and kRecordDataBatch slots for record data. A returned span stays
// valid until the next call for the same buffer or slot.
class PdaPacketBuilder {
public:
    PdaPacketBuilder();

    std::span<const std::uint8_t> EraseRam(const ImageHeader& header);
    // Where the chunk of n ≤ kMaxChunk bytes of a slot goes, so that file
    // data are read straight into the packet...
    std::span<std::uint8_t> RecordDataSpace(std::size_t slot, std::size_t n);
    // ...and the slot's packet around the n bytes placed there.
    std::span<const std::uint8_t> RecordData(std::size_t slot, std::uint32_t address,
                                             std::size_t n);
    // Copying form, for callers that hold the chunk elsewhere.
    std::span<const std::uint8_t> RecordData(std::uint32_t address,
                                             std::span<const std::uint8_t> chunk);
    std::span<const std::uint8_t> LastDataInImage(std::uint32_t launchAddress);
    std::span<const std::uint8_t> Single(PdaCommand command);

private:
    std::uint8_t* Slot(std::size_t slot);

    std::array<std::uint8_t, kLastDataInImagePacketSize> shortPacket_{};
    std::vector<std::uint8_t> slots_;
};

// Address of each chunk of a record: record address + offset within it,
// wrapping as the 32-bit field does.
std::uint32_t ChunkAddress(std::uint32_t recordAddress, std::uint32_t offsetInRecord);
std::size_t ChunkSize(std::uint32_t recordLength, std::uint32_t offsetInRecord);

// ---------------------------------------------------------------------------
// Replies

enum class ReplyRead { Ok, Failed, Stopped };

// What a reply wait needs from the pipe.
class ReplyChannel {
public:
    virtual ~ReplyChannel() = default;
    virtual bool StopRequested() const = 0;
    // Blocks until a byte, a failure or a stop request.
    virtual ReplyRead ReadReplyByte(std::uint8_t& byte) = 0;
    virtual void Pause(std::chrono::milliseconds duration) = 0;
};

enum class ReplyOutcome { Received, Nak, Stopped, Failed, Exhausted };
enum class FlashOutcome { Written, Stopped, Failed };

struct ReplyWait {
    ReplyOutcome outcome = ReplyOutcome::Failed;
    int unexpectedBytes = 0;
    std::uint8_t lastByte = NAK;
    std::string error; // names the command; empty when received
};

struct FlashWait {
    FlashOutcome outcome = FlashOutcome::Failed;
    int ignoredBytes = 0;
    std::string error;
};

// The answered commands: ERASE_RAM_CMD, LAST_DATA_IN_RECORD, LAST_DATA_IN_IMAGE.
ReplyWait AwaitReply(ReplyChannel& channel, PdaCommand command);
// WRITE_FLSH_CMD: no attempt limit; every byte but 0x05 is passed over.
FlashWait AwaitFlashWritten(ReplyChannel& channel);

// The Device State Window texts of a reply wait, main-window mode only.
struct ReplyTexts {
    const char* received; // nullptr: none
    const char* nak;
    const char* notRead; // after stopped, NAK, failed or exhausted
};
ReplyTexts ReplyTextsFor(PdaCommand command);

} // namespace marlow::pda
