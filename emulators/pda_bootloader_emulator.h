#pragma once
// The device side of the PDA boot loader protocol: it takes the host's bulk
// transfers one by one, checks every packet (code, length, fields, each
// chunk's checksum, the zero-length-packet rule, the order of commands),
// keeps a RAM and a FLASH model of the images it received and answers as
// the handset's boot loader does. It leaves the bus after DOWNLOAD_DONE_CMD,
// PHONE_DOWN_CMD or USB_UNLOAD_CMD (the handset re-enumerates), and at once
// on a protocol violation, which it records in words.
//
// The models are light: per image a digest of its data plus, for small
// images, the chunks themselves, so a gigabyte image costs no gigabyte.
//
// The emulator is transport-free: the in-process pair and the virtual bus
// both feed it transfers and carry out what it asks of its DevicePort.

#include "pda_data_digest.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace marlow::emulators {

// What the emulator does to its end of the bus.
class PdaDevicePort {
public:
    virtual ~PdaDevicePort() = default;
    // The bytes reach the host `after` this long (a flash write takes its
    // time); later replies queue behind them.
    virtual void SendReply(std::span<const std::uint8_t> bytes,
                           std::chrono::milliseconds after = std::chrono::milliseconds{0}) = 0;
    virtual void LeaveBus() = 0;
};

// Faults, each tied to the k-th answered command (counting from 1 over
// ERASE_RAM_CMD, LAST_DATA_IN_RECORD, LAST_DATA_IN_IMAGE and WRITE_FLSH_CMD;
// 0 = never).
struct PdaEmulatorFaults {
    int nakAtAnswer = 0;
    int unexpectedReplies = 0;  // this many bytes before the right reply...
    int unexpectedAtAnswer = 0; // ...at this answer (0 = at every answer)
    std::uint8_t unexpectedByte = 0x02;
    int silentAtAnswer = 0; // no reply, then nor any later one
    // Leave the bus once this many host bytes have arrived (< 0: never).
    std::int64_t disconnectAfterBytes = -1;
    std::chrono::milliseconds flashWriteTime{0};
    int zeroRepliesDuringFlash = 0;
};

struct PdaEmulatorOptions {
    PdaEmulatorFaults faults;
    // Images up to this many data bytes keep their chunks for inspection.
    std::uint64_t keepBytesLimit = 1024 * 1024;
};

struct EmulatedChunk {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const EmulatedChunk&) const = default;
};

struct EmulatedImage {
    std::uint32_t startAddress = 0;
    std::uint32_t imageLength = 0;
    std::uint32_t records = 0; // closed with LAST_DATA_IN_RECORD
    std::uint64_t chunks = 0;
    PdaDataDigest digest;
    bool chunksKept = true; // false once the image outgrew keepBytesLimit
    std::vector<EmulatedChunk> keptChunks;
    bool complete = false; // LAST_DATA_IN_IMAGE received
    std::uint32_t launchAddress = 0;
};

struct PdaEmulatorReport {
    std::vector<EmulatedImage> ram;   // every image received, in order
    std::vector<EmulatedImage> flash; // every image written to flash
    // Command names in order, runs of RECORD_DATA_CMD folded: "RECORD_DATA_CMD x3".
    std::vector<std::string> transcript;
    std::uint64_t hostBytes = 0;
    std::uint64_t zeroLengthPackets = 0;
    int answeredCommands = 0;
    std::string violation;                // empty while the host kept the protocol
    std::optional<std::uint8_t> leftWith; // the command after which it left the bus
    bool leftBus = false;
};

class PdaBootLoaderEmulator {
public:
    explicit PdaBootLoaderEmulator(PdaEmulatorOptions options = {});

    // One host transfer (an empty one is a zero-length packet).
    void OnTransfer(std::span<const std::uint8_t> transfer, PdaDevicePort& port);

    PdaEmulatorReport Report() const;
    bool LeftBus() const;

private:
    void Handle(std::span<const std::uint8_t> packet, PdaDevicePort& port);
    void EraseRam(std::span<const std::uint8_t> packet, PdaDevicePort& port);
    void RecordData(std::span<const std::uint8_t> packet, PdaDevicePort& port);
    void LastDataInRecord(PdaDevicePort& port);
    void LastDataInImage(std::span<const std::uint8_t> packet, PdaDevicePort& port);
    void WriteFlash(PdaDevicePort& port);
    void Leave(std::uint8_t command, PdaDevicePort& port);
    void Answer(std::uint8_t code, PdaDevicePort& port);
    void Violation(const std::string& what, PdaDevicePort& port);
    void Note(const char* name);
    EmulatedImage* OpenImage();

    PdaEmulatorOptions options_;
    mutable std::mutex mutex_;
    PdaEmulatorReport report_;
    bool zeroLengthDue_ = false;
    std::uint64_t recordDataRun_ = 0;
    bool silent_ = false;
    std::vector<std::uint8_t> reply_;
};

} // namespace marlow::emulators
