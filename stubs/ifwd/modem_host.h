#pragma once
// The library's side of the modem link: one request frame, one reply, in
// order. Boot, file transfers and the end of the process are built from
// that; every wait can be stopped through the line.

#include "emulators/modem_serial_line.h"
#include "emulators/modem_wire.h"
#include "part_file.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marlow::ifwd {

struct HostTimeouts {
    std::chrono::milliseconds boot{1200};
    std::chrono::milliseconds reply{1000};
};

struct HostResult {
    enum class Kind { Done, Failed, Stopped };
    Kind kind = Kind::Done;
    std::string reason; // for Failed: a line for the operator

    static HostResult Done() { return {}; }
    static HostResult Failed(std::string why) { return {Kind::Failed, std::move(why)}; }
    static HostResult Stopped() { return {Kind::Stopped, {}}; }
    bool ok() const { return kind == Kind::Done; }
};

// The CRC-32 of a payload's last `length` bytes, when already known.
struct KnownTail {
    std::uint32_t crc = 0;
    std::size_t length = 0;
};

class ModemHost {
public:
    ModemHost(modem::SerialLine& line, HostTimeouts timeouts) : line_(line), timeouts_(timeouts) {}

    HostResult Boot(const modem::ControlBlock& controlBlock, const std::string& firmwareName);
    // Reads the file as it goes; `progress` hears the percentage each time
    // it changes.
    HostResult SendFile(modem::FileKind kind, std::uint32_t option, const std::string& name,
                        PartFile& file, const std::function<void(int)>& progress);
    HostResult EndOfProcess();
    // Tells the modem to drop a part in progress; nothing is awaited.
    void SendAbort();

private:
    static constexpr std::size_t kFramesPerRead = 16;
    HostResult Exchange(modem::FrameType type, std::vector<std::uint8_t> payload,
                        std::chrono::milliseconds timeout, modem::FrameType expected,
                        std::string* replyText = nullptr, KnownTail tail = {});
    HostResult AwaitReply(std::uint8_t sequence, std::chrono::milliseconds timeout,
                          modem::FrameType expected, const char* step, std::string* replyText);

    modem::SerialLine& line_;
    HostTimeouts timeouts_;
    modem::FrameDecoder decoder_;
};

} // namespace marlow::ifwd
