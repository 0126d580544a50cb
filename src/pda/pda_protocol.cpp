#include "pda/pda_protocol.h"

#include "common/little_endian.h"

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

std::string StepError(PdaCommand command, const std::string& what) {
    return CommandName(CodeOf(command)) + ": " + what;
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

PdaPacketBuilder::PdaPacketBuilder() : buffer_(kMaxPacketSize) {}

std::span<const std::uint8_t> PdaPacketBuilder::EraseRam(const ImageHeader& header) {
    buffer_[0] = CodeOf(PdaCommand::ERASE_RAM_CMD);
    StoreLe32(buffer_, 1, header.startAddress);
    StoreLe32(buffer_, 5, header.imageLength);
    return {buffer_.data(), kEraseRamPacketSize};
}

std::span<std::uint8_t> PdaPacketBuilder::RecordDataSpace(std::size_t n) {
    return {buffer_.data() + kRecordPacketHeaderSize, std::min(n, kMaxChunk)};
}

std::span<const std::uint8_t> PdaPacketBuilder::RecordData(std::uint32_t address, std::size_t n) {
    n = std::min(n, kMaxChunk);
    const std::span<const std::uint8_t> chunk{buffer_.data() + kRecordPacketHeaderSize, n};
    buffer_[0] = CodeOf(PdaCommand::RECORD_DATA_CMD);
    StoreLe32(buffer_, kAddressField, address);
    StoreLe32(buffer_, kLengthField, static_cast<std::uint32_t>(n));
    StoreLe32(buffer_, kChecksumField, RecordByteSum(chunk));
    return {buffer_.data(), kRecordPacketHeaderSize + n};
}

std::span<const std::uint8_t> PdaPacketBuilder::RecordData(std::uint32_t address,
                                                           std::span<const std::uint8_t> chunk) {
    const std::span<std::uint8_t> space = RecordDataSpace(chunk.size());
    std::memcpy(space.data(), chunk.data(), space.size());
    return RecordData(address, space.size());
}

std::span<const std::uint8_t> PdaPacketBuilder::LastDataInImage(std::uint32_t launchAddress) {
    buffer_[0] = CodeOf(PdaCommand::LAST_DATA_IN_IMAGE);
    StoreLe32(buffer_, kAddressField, 0);
    StoreLe32(buffer_, kLengthField, launchAddress);
    StoreLe32(buffer_, kChecksumField, 0);
    return {buffer_.data(), kLastDataInImagePacketSize};
}

std::span<const std::uint8_t> PdaPacketBuilder::Single(PdaCommand command) {
    buffer_[0] = CodeOf(command);
    return {buffer_.data(), 1};
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
