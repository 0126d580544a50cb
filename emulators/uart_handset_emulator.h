#pragma once
// The handset's side of the UART flash loader: the ST boot ROM that sends
// its ASIC ID and takes the second-stage boot, then the code running on the
// handset that asks for files with request codes and writes partitions.
//
// It checks everything the tool sends (boot indication, the header CRC of
// each partition and the CRC and 0xFF fill of each frame), keeps what it
// received, and acknowledges with 0 unless told to misbehave. One Run is one
// session, from the tool's port open to its close.

#include "emulators/uart_device_link.h"
#include "emulators/uart_script.h"
#include "uartloader/uart_frames.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlow::emulators {

struct UartEmulatorFaults {
    std::optional<std::uint32_t> headerAck; // answers every partition header with this
    bool omitHeaderAck = false;             // ...or with nothing at all
    std::optional<std::uint32_t> frameAck;  // answers frame `faultFrame` with this
    bool omitFrameAck = false;              // ...or with nothing at all
    std::size_t faultFrame = 0;             // counted from 0 over the whole session
    std::int64_t sizeEchoDelta = 0;         // added to the boot flasher's size echo
};

struct UartEmulatorOptions {
    std::size_t asicPosition = 0; // where the ASIC ID pattern starts (13 and up: not found)
    bool bootRomSilent = false;   // the boot ROM never sends its ASIC ID
    std::vector<UartScriptStep> script = DefaultUartScript();
    UartEmulatorFaults faults;
    std::uint32_t flashWord = 0;    // the word that follows each flash request code
    std::uint32_t paceBaudRate = 0; // 0: as fast as the link goes; 115200: a real cable
    bool keepData = true;           // false: check and count only (long runs)
    std::chrono::milliseconds openTimeout{60000};
    std::chrono::milliseconds replyTimeout{10000};
};

struct UartFlasherImage {
    std::uint32_t size = 0;
    std::uint32_t entryPoint = 0;
    std::uint32_t executionAddress = 0;
    std::vector<std::uint8_t> data;
};

struct UartPartitionImage {
    std::uint32_t requestCode = 0;
    uartloader::PartitionHeader header;
    std::uint32_t frames = 0;
    std::uint64_t bytes = 0;        // image bytes received (the header's size when complete)
    std::vector<std::uint8_t> data; // when keepData
    bool complete = false;
};

struct UartEmulatorReport {
    bool hostOpened = false;
    std::optional<std::uint32_t> bootIndication;
    std::optional<std::vector<std::uint8_t>> secondStage;
    std::optional<std::vector<std::uint8_t>> extMemInit;
    std::optional<UartFlasherImage> flasher;
    std::vector<UartPartitionImage> partitions;
    std::vector<std::uint8_t> pingReplies;
    std::size_t stepsPlayed = 0;
    bool doneSent = false;
    std::size_t bytesAfterEnd = 0;     // what the tool still sent after the last step
    std::vector<std::string> problems; // protocol violations by the tool
    std::string end;                   // how the session ended

    bool Passed() const { return doneSent && problems.empty(); }
};

class UartHandsetEmulator {
public:
    explicit UartHandsetEmulator(UartEmulatorOptions options) : options_(std::move(options)) {}

    // One session. To stop it early, Stop the link from another thread.
    UartEmulatorReport Run(UartDeviceLink& link) const;

    const UartEmulatorOptions& Options() const { return options_; }

private:
    UartEmulatorOptions options_;
};

// A few lines for people: what came, what was wrong, how it ended.
std::string SummariseUartReport(const UartEmulatorReport& report);

} // namespace marlow::emulators
