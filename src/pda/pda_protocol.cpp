#include "pda/pda_protocol.h"

#include "common/little_endian.h"
#include "pda/pda_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace marlow::pda {

namespace {

constexpr std::size_t kAddressField = 1;
constexpr std::size_t kLengthField = 5;
constexpr std::size_t kChecksumField = 9;

std::string Hex8(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Every failed step passes here, so the log shows each one as it happens.
std::string StepError(PdaCommand command, const std::string& what) {
    std::string text = CommandName(CodeOf(command)) + ": " + what;
    qCDebug(lcPda, "%s", text.c_str());
    return text;
}

} // namespace

std::uint8_t CodeOf(PdaCommand command) {
    return static_cast<std::uint8_t>(command);
}

std::string CommandName(std::uint8_t code) {
    switch (static_cast<PdaCommand>(code)) {
    case PdaCommand::ERASE_RAM_CMD:
        return "ERASE_RAM_CMD";
    case PdaCommand::RECORD_DATA_CMD:
        return "RECORD_DATA_CMD";
    case PdaCommand::LAST_DATA_IN_RECORD:
        return "LAST_DATA_IN_RECORD";
    case PdaCommand::LAST_DATA_IN_IMAGE:
        return "LAST_DATA_IN_IMAGE";
    case PdaCommand::WRITE_FLSH_CMD:
        return "WRITE_FLSH_CMD";
    case PdaCommand::DOWNLOAD_DONE_CMD:
        return "DOWNLOAD_DONE_CMD";
    case PdaCommand::USB_UNLOAD_CMD:
        return "USB_UNLOAD_CMD";
    case PdaCommand::PHONE_DOWN_CMD:
        return "PHONE_DOWN_CMD";
    }
    return Hex8(code);
}

bool IsSingleByteCommand(PdaCommand command) {
    return command != PdaCommand::ERASE_RAM_CMD && command != PdaCommand::RECORD_DATA_CMD &&
           command != PdaCommand::LAST_DATA_IN_IMAGE;
}

// Each slot leaves room before its packet so that the data, which the file
// is read into, start on a cache line of their own.
constexpr std::size_t kSlotDataOffset = 64;
constexpr std::size_t kSlotSize = kSlotDataOffset + kMaxChunk;
static_assert(kRecordPacketHeaderSize <= kSlotDataOffset);

PdaPacketBuilder::PdaPacketBuilder() : slots_(kRecordDataBatch * kSlotSize) {}

std::uint8_t* PdaPacketBuilder::Slot(std::size_t slot) {
    return slots_.data() + std::min(slot, kRecordDataBatch - 1) * kSlotSize + kSlotDataOffset -
           kRecordPacketHeaderSize;
}

std::span<const std::uint8_t> PdaPacketBuilder::EraseRam(const ImageHeader& header) {
    shortPacket_[0] = CodeOf(PdaCommand::ERASE_RAM_CMD);
    StoreLe32(shortPacket_, 1, header.startAddress);
    StoreLe32(shortPacket_, 5, header.imageLength);
    return std::span(shortPacket_).first(kEraseRamPacketSize);
}

std::span<std::uint8_t> PdaPacketBuilder::RecordDataSpace(std::size_t slot, std::size_t n) {
    return {Slot(slot) + kRecordPacketHeaderSize, std::min(n, kMaxChunk)};
}

std::span<const std::uint8_t> PdaPacketBuilder::RecordData(std::size_t slot, std::uint32_t address,
                                                           std::size_t n) {
    n = std::min(n, kMaxChunk);
    const std::span<std::uint8_t> packet(Slot(slot), kRecordPacketHeaderSize + n);
    packet[0] = CodeOf(PdaCommand::RECORD_DATA_CMD);
    StoreLe32(packet, kAddressField, address);
    StoreLe32(packet, kLengthField, static_cast<std::uint32_t>(n));
    StoreLe32(packet, kChecksumField, RecordByteSum(packet.subspan(kRecordPacketHeaderSize)));
    return packet;
}

std::span<const std::uint8_t> PdaPacketBuilder::RecordData(std::uint32_t address,
                                                           std::span<const std::uint8_t> chunk) {
    const std::span<std::uint8_t> space = RecordDataSpace(0, chunk.size());
    std::memcpy(space.data(), chunk.data(), space.size());
    return RecordData(0, address, space.size());
}

std::span<const std::uint8_t> PdaPacketBuilder::LastDataInImage(std::uint32_t launchAddress) {
    shortPacket_[0] = CodeOf(PdaCommand::LAST_DATA_IN_IMAGE);
    StoreLe32(shortPacket_, kAddressField, 0);
    StoreLe32(shortPacket_, kLengthField, launchAddress);
    StoreLe32(shortPacket_, kChecksumField, 0);
    return std::span(shortPacket_).first(kLastDataInImagePacketSize);
}

std::span<const std::uint8_t> PdaPacketBuilder::Single(PdaCommand command) {
    shortPacket_[0] = CodeOf(command);
    return std::span(shortPacket_).first(1);
}

std::uint32_t ChunkAddress(std::uint32_t recordAddress, std::uint32_t offsetInRecord) {
    return recordAddress + offsetInRecord;
}

std::size_t ChunkSize(std::uint32_t recordLength, std::uint32_t offsetInRecord) {
    if (offsetInRecord >= recordLength)
        return 0;
    return std::min<std::size_t>(kMaxChunk, recordLength - offsetInRecord);
}

ReplyWait AwaitReply(ReplyChannel& channel, PdaCommand command) {
    const std::uint8_t expected = CodeOf(command);
    ReplyWait wait;
    for (int attempt = 0; attempt < kReplyAttempts; ++attempt) {
        if (channel.StopRequested()) {
            wait.outcome = ReplyOutcome::Stopped;
            wait.error = StepError(command, "stopped while waiting for the reply");
            return wait;
        }
        std::uint8_t reply = NAK;
        if (const ReplyRead read = channel.ReadReplyByte(reply); read != ReplyRead::Ok) {
            const bool stopped = read == ReplyRead::Stopped;
            wait.outcome = stopped ? ReplyOutcome::Stopped : ReplyOutcome::Failed;
            wait.error = StepError(command, stopped ? "stopped while waiting for the reply"
                                                    : "the reply could not be read");
            return wait;
        }
        wait.lastByte = reply;
        if (reply == expected) {
            wait.outcome = ReplyOutcome::Received;
            return wait;
        }
        if (reply == NAK) {
            wait.outcome = ReplyOutcome::Nak;
            wait.error = StepError(command, "the device answered NAK");
            return wait;
        }
        ++wait.unexpectedBytes;
        qCDebug(lcPda, "%s: unexpected reply %s", CommandName(expected).c_str(),
                Hex8(reply).c_str());
        channel.Pause(kReplyPause);
    }
    wait.outcome = ReplyOutcome::Exhausted;
    wait.error = StepError(command, std::to_string(kReplyAttempts) +
                                        " unexpected replies, the last " + Hex8(wait.lastByte));
    return wait;
}

FlashWait AwaitFlashWritten(ReplyChannel& channel) {
    const std::uint8_t written = CodeOf(PdaCommand::WRITE_FLSH_CMD);
    FlashWait wait;
    for (;;) {
        if (channel.StopRequested()) {
            wait.outcome = FlashOutcome::Stopped;
            wait.error = StepError(PdaCommand::WRITE_FLSH_CMD, "stopped during the flash write");
            return wait;
        }
        std::uint8_t reply = NAK;
        if (const ReplyRead read = channel.ReadReplyByte(reply); read != ReplyRead::Ok) {
            const bool stopped = read == ReplyRead::Stopped;
            wait.outcome = stopped ? FlashOutcome::Stopped : FlashOutcome::Failed;
            wait.error = StepError(PdaCommand::WRITE_FLSH_CMD,
                                   stopped ? "stopped during the flash write"
                                           : "the flash write's reply could not be read");
            return wait;
        }
        if (reply == written) {
            wait.outcome = FlashOutcome::Written;
            return wait;
        }
        ++wait.ignoredBytes;
        channel.Pause(kReplyPause);
    }
}

ReplyTexts ReplyTextsFor(PdaCommand command) {
    switch (command) {
    case PdaCommand::ERASE_RAM_CMD:
        return {"\nImageHeader Received\r\n", "\nReceived NAK on ERASE_RAM_CMD",
                "\nRead not ERASE_RAM_CMD"};
    case PdaCommand::LAST_DATA_IN_RECORD:
        return {nullptr, "\nReceived NAK on RECORDDATA_STATE", "\nRead not LAST_DATA_IN_RECORD"};
    case PdaCommand::LAST_DATA_IN_IMAGE:
        return {nullptr, "\nReceived NAK on LAST_DATA_IN_IMAGE", "\nRead not LAST_DATA_IN_RECORD"};
    default:
        return {nullptr, nullptr, nullptr};
    }
}

} // namespace marlow::pda
