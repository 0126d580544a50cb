#include "pda_bootloader_emulator.h"

#include "common/little_endian.h"
#include "pda/boot_image.h"
#include "pda/pda_protocol.h"

#include <cstdio>

namespace marlow::emulators {

using pda::CodeOf;
using pda::CommandName;
using pda::PdaCommand;

namespace {

constexpr std::size_t kUsbPacket = 64;

bool EndsOnPacketBoundary(std::size_t size) {
    return size != 0 && size % kUsbPacket == 0;
}

std::size_t ExpectedSize(PdaCommand command, std::span<const std::uint8_t> packet) {
    switch (command) {
    case PdaCommand::ERASE_RAM_CMD:
        return pda::kEraseRamPacketSize;
    case PdaCommand::RECORD_DATA_CMD:
        return packet.size() >= pda::kRecordPacketHeaderSize
                   ? pda::kRecordPacketHeaderSize + LoadLe32(packet, 5)
                   : pda::kRecordPacketHeaderSize;
    case PdaCommand::LAST_DATA_IN_IMAGE:
        return pda::kLastDataInImagePacketSize;
    default:
        return 1;
    }
}

std::string Hex32(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

bool IsKnownCommand(std::uint8_t code) {
    return code >= CodeOf(PdaCommand::ERASE_RAM_CMD) && code <= CodeOf(PdaCommand::PHONE_DOWN_CMD);
}

} // namespace

PdaBootLoaderEmulator::PdaBootLoaderEmulator(PdaEmulatorOptions options)
    : options_(std::move(options)) {}

PdaEmulatorReport PdaBootLoaderEmulator::Report() const {
    std::lock_guard lock(mutex_);
    PdaEmulatorReport report = report_;
    if (recordDataRun_ > 0)
        report.transcript.push_back("RECORD_DATA_CMD x" + std::to_string(recordDataRun_));
    return report;
}

bool PdaBootLoaderEmulator::LeftBus() const {
    std::lock_guard lock(mutex_);
    return report_.leftBus;
}

void PdaBootLoaderEmulator::OnTransfer(std::span<const std::uint8_t> transfer,
                                       PdaDevicePort& port) {
    {
        std::lock_guard lock(mutex_);
        if (report_.leftBus)
            return;
        report_.hostBytes += transfer.size();
        if (transfer.empty()) {
            ++report_.zeroLengthPackets;
            if (!zeroLengthDue_)
                return Violation("a zero-length packet that no 64-byte multiple asked for", port);
            zeroLengthDue_ = false;
            return;
        }
        if (zeroLengthDue_)
            return Violation("no zero-length packet after a transfer of a multiple of 64 bytes",
                             port);
        zeroLengthDue_ = EndsOnPacketBoundary(transfer.size());
    }
    Handle(transfer, port);
    std::lock_guard lock(mutex_);
    const std::int64_t limit = options_.faults.disconnectAfterBytes;
    if (!report_.leftBus && limit >= 0 && report_.hostBytes >= static_cast<std::uint64_t>(limit)) {
        report_.leftBus = true;
        port.LeaveBus();
    }
}

void PdaBootLoaderEmulator::Handle(std::span<const std::uint8_t> packet, PdaDevicePort& port) {
    std::lock_guard lock(mutex_);
    const std::uint8_t code = packet[0];
    if (!IsKnownCommand(code))
        return Violation("unknown command byte " + CommandName(code), port);
    const auto command = static_cast<PdaCommand>(code);
    const std::size_t expected = ExpectedSize(command, packet);
    if (packet.size() != expected)
        return Violation(CommandName(code) + " packet of " + std::to_string(packet.size()) +
                             " bytes, expected " + std::to_string(expected),
                         port);
    switch (command) {
    case PdaCommand::ERASE_RAM_CMD:
        return EraseRam(packet, port);
    case PdaCommand::RECORD_DATA_CMD:
        return RecordData(packet, port);
    case PdaCommand::LAST_DATA_IN_RECORD:
        return LastDataInRecord(port);
    case PdaCommand::LAST_DATA_IN_IMAGE:
        return LastDataInImage(packet, port);
    case PdaCommand::WRITE_FLSH_CMD:
        return WriteFlash(port);
    case PdaCommand::DOWNLOAD_DONE_CMD:
    case PdaCommand::USB_UNLOAD_CMD:
    case PdaCommand::PHONE_DOWN_CMD:
        return Leave(code, port);
    }
}

EmulatedImage* PdaBootLoaderEmulator::OpenImage() {
    if (report_.ram.empty() || report_.ram.back().complete)
        return nullptr;
    return &report_.ram.back();
}

void PdaBootLoaderEmulator::EraseRam(std::span<const std::uint8_t> packet, PdaDevicePort& port) {
    Note("ERASE_RAM_CMD");
    if (OpenImage() != nullptr)
        return Violation("ERASE_RAM_CMD while the previous image was still open", port);
    EmulatedImage image;
    image.startAddress = LoadLe32(packet, 1);
    image.imageLength = LoadLe32(packet, 5);
    report_.ram.push_back(std::move(image));
    Answer(CodeOf(PdaCommand::ERASE_RAM_CMD), port);
}

void PdaBootLoaderEmulator::RecordData(std::span<const std::uint8_t> packet, PdaDevicePort& port) {
    const std::uint32_t address = LoadLe32(packet, 1);
    const std::uint32_t n = LoadLe32(packet, 5);
    const std::uint32_t checksum = LoadLe32(packet, 9);
    const std::span<const std::uint8_t> data = packet.subspan(pda::kRecordPacketHeaderSize);
    ++recordDataRun_;
    EmulatedImage* image = OpenImage();
    if (image == nullptr)
        return Violation("RECORD_DATA_CMD outside an image", port);
    if (n == 0 || n > pda::kMaxChunk)
        return Violation("RECORD_DATA_CMD with " + std::to_string(n) + " data bytes", port);
    if (pda::RecordByteSum(data) != checksum)
        return Violation("RECORD_DATA_CMD at " + Hex32(address) +
                             ": checksum field does not match the data",
                         port);
    ++image->chunks;
    image->digest.AddChunk(address, data);
    if (image->chunksKept && image->digest.Bytes() > options_.keepBytesLimit) {
        image->chunksKept = false;
        image->keptChunks.clear();
        image->keptChunks.shrink_to_fit();
    }
    if (image->chunksKept)
        image->keptChunks.push_back({address, {data.begin(), data.end()}});
}

void PdaBootLoaderEmulator::LastDataInRecord(PdaDevicePort& port) {
    Note("LAST_DATA_IN_RECORD");
    EmulatedImage* image = OpenImage();
    if (image == nullptr)
        return Violation("LAST_DATA_IN_RECORD outside an image", port);
    ++image->records;
    Answer(CodeOf(PdaCommand::LAST_DATA_IN_RECORD), port);
}

void PdaBootLoaderEmulator::LastDataInImage(std::span<const std::uint8_t> packet,
                                            PdaDevicePort& port) {
    Note("LAST_DATA_IN_IMAGE");
    EmulatedImage* image = OpenImage();
    if (image == nullptr)
        return Violation("LAST_DATA_IN_IMAGE outside an image", port);
    if (LoadLe32(packet, 1) != 0 || LoadLe32(packet, 9) != 0)
        return Violation("LAST_DATA_IN_IMAGE with a non-zero address or checksum field", port);
    image->launchAddress = LoadLe32(packet, 5);
    image->complete = true;
    Answer(CodeOf(PdaCommand::LAST_DATA_IN_IMAGE), port);
}

void PdaBootLoaderEmulator::WriteFlash(PdaDevicePort& port) {
    Note("WRITE_FLSH_CMD");
    if (report_.ram.empty() || !report_.ram.back().complete)
        return Violation("WRITE_FLSH_CMD without a complete image in RAM", port);
    const int answer = ++report_.answeredCommands;
    const PdaEmulatorFaults& faults = options_.faults;
    if (silent_ || answer == faults.silentAtAnswer) {
        silent_ = true;
        return;
    }
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(faults.zeroRepliesDuringFlash),
                                          pda::NAK);
    if (!zeros.empty())
        port.SendReply(zeros);
    report_.flash.push_back(report_.ram.back());
    const std::uint8_t written = CodeOf(PdaCommand::WRITE_FLSH_CMD);
    port.SendReply({&written, 1}, faults.flashWriteTime);
}

void PdaBootLoaderEmulator::Leave(std::uint8_t command, PdaDevicePort& port) {
    Note(CommandName(command).c_str());
    report_.leftWith = command;
    report_.leftBus = true;
    port.LeaveBus();
}

void PdaBootLoaderEmulator::Answer(std::uint8_t code, PdaDevicePort& port) {
    const int answer = ++report_.answeredCommands;
    const PdaEmulatorFaults& faults = options_.faults;
    if (silent_ || answer == faults.silentAtAnswer) {
        silent_ = true;
        return;
    }
    if (answer == faults.nakAtAnswer) {
        const std::uint8_t nak = pda::NAK;
        port.SendReply({&nak, 1});
        return;
    }
    // One buffer for every answer: no allocation per command.
    reply_.clear();
    if (faults.unexpectedAtAnswer == 0 || faults.unexpectedAtAnswer == answer)
        reply_.assign(static_cast<std::size_t>(faults.unexpectedReplies), faults.unexpectedByte);
    reply_.push_back(code);
    port.SendReply(reply_);
}

void PdaBootLoaderEmulator::Violation(const std::string& what, PdaDevicePort& port) {
    report_.violation = what;
    report_.leftBus = true;
    port.LeaveBus();
}

void PdaBootLoaderEmulator::Note(const char* name) {
    if (recordDataRun_ > 0) {
        report_.transcript.push_back("RECORD_DATA_CMD x" + std::to_string(recordDataRun_));
        recordDataRun_ = 0;
    }
    report_.transcript.push_back(name);
}

} // namespace marlow::emulators
