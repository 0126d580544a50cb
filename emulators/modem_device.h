#pragma once
// The modem's side of the download link, without any I/O: it takes request
// frames one by one and says how to answer, keeping the files it received.
// Faults make it misbehave the ways a real modem does.

#include "modemlink/modem_wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlow::emulators {

struct ModemFaults {
    bool refuseBoot = false; // every boot is answered with an error
    int stallBoots = 0;      // the first this many boots get no answer at all
    int failPart = 0;        // the k-th file after a boot (1 = PSI loader) fails at its end
    int vanishAtPart = 0;    // the modem leaves when the k-th file begins
};

struct ReceivedModemFile {
    std::string name;
    modemlink::FileKind kind = modemlink::FileKind::Fls;
    std::uint32_t option = 0;
    std::vector<std::uint8_t> data; // empty when the modem keeps no data
    std::uint32_t size = 0;
    std::uint32_t crc = 0; // of the bytes received so far
};

struct ModemAnswer {
    enum class Kind { Reply, Silence, Vanish };
    Kind kind = Kind::Reply;
    modemlink::Frame reply;
};

class ModemDevice {
public:
    // Kept files above this size are refused, so a bad size cannot exhaust memory.
    static constexpr std::uint32_t kLargestFile = 256u * 1024 * 1024;

    // Without `keepData` the modem checks each file's size and checksum as
    // it comes and keeps neither its bytes nor a limit on its size.
    explicit ModemDevice(ModemFaults faults = {}, bool keepData = true)
        : faults_(faults), keepData_(keepData) {}

    ModemAnswer Handle(const modemlink::Frame& request);

    int Boots() const { return boots_; }
    int EndsOfProcess() const { return endsOfProcess_; }
    int Aborts() const { return aborts_; }
    const std::vector<ReceivedModemFile>& Files() const { return files_; }

private:
    ModemAnswer OnBoot(const modemlink::Frame& request);
    ModemAnswer OnFileBegin(const modemlink::Frame& request);
    ModemAnswer OnFileData(const modemlink::Frame& request);
    ModemAnswer OnFileEnd(const modemlink::Frame& request);
    static ModemAnswer Reply(const modemlink::Frame& request, modemlink::FrameType type,
                             std::string_view text = {});

    ModemFaults faults_;
    bool keepData_;
    bool booted_ = false;
    int partsSinceBoot_ = 0;
    int boots_ = 0;
    int endsOfProcess_ = 0;
    int aborts_ = 0;
    std::optional<ReceivedModemFile> current_;
    std::uint32_t announcedSize_ = 0;
    std::vector<ReceivedModemFile> files_;
};

} // namespace marlow::emulators
