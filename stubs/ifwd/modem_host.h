#pragma once
// The library's side of the modem link: one request frame, one reply, in
// order. Boot, file transfers and the end of the process are built from
// that; every wait can be stopped through the line.

#include "modemlink/modem_serial_line.h"
#include "modemlink/modem_wire.h"
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

class ModemHost {
public:
    ModemHost(modemlink::SerialLine& line, HostTimeouts timeouts)
        : line_(line), timeouts_(timeouts) {}

    HostResult Boot(const modemlink::ControlBlock& controlBlock, const std::string& firmwareName);
    // Reads the file as it goes; `progress` hears the percentage each time
    // it changes.
    HostResult SendFile(modemlink::FileKind kind, std::uint32_t option, const std::string& name,
                        PartFile& file, const std::function<void(int)>& progress);
    HostResult EndOfProcess();
    // Tells the modem to drop a part in progress; nothing is awaited.
    void SendAbort();

private:
    struct DataFrame {
        std::vector<std::uint8_t> bytes;
        std::uint8_t sequence = 0;
        std::uint32_t end = 0; // file offset after its bytes
    };
    // A file's FileData frames, built one at a time. The file is read a
    // block of frames at a time: a read call per frame would cost about as
    // much as writing the frame.
    class DataFrames {
    public:
        explicit DataFrames(PartFile& file) : file_(file) {}
        // Nullopt after the last frame; fails when the file cannot be read
        // or ends before its size.
        Result<std::optional<DataFrame>> Next();
        std::uint32_t FileCrc() const { return fileCrc_; }

    private:
        static constexpr std::size_t kFramesPerRead = 16;
        PartFile& file_;
        std::vector<std::uint8_t> block_ =
            std::vector<std::uint8_t>(kFramesPerRead * modemlink::kDataChunk);
        std::span<const std::uint8_t> unsent_;
        std::uint32_t offset_ = 0;
        std::uint32_t fileCrc_ = 0;
    };

    HostResult Exchange(modemlink::FrameType type, std::vector<std::uint8_t> payload,
                        std::chrono::milliseconds timeout, modemlink::FrameType expected,
                        std::string* replyText = nullptr);
    HostResult AwaitReply(std::uint8_t sequence, std::chrono::milliseconds timeout,
                          modemlink::FrameType expected, const char* step, std::string* replyText);

    modemlink::SerialLine& line_;
    HostTimeouts timeouts_;
    modemlink::FrameDecoder decoder_;
};

} // namespace marlow::ifwd
