#include "uartloader/file_senders.h"

#include "common/little_endian.h"
#include "uartloader/uart_frames.h"

#include <algorithm>
#include <vector>

namespace marlow::uartloader {

namespace {

constexpr std::uint8_t kFrameFill = 0xFF;

// A file that ends before its size said it would (it shrank under us, or
// the disk failed) must not go out as whatever the buffer held.
Status ReadChunk(InputFile& file, std::span<std::uint8_t> into, std::string_view what) {
    if (file.ReadExactly(into))
        return {};
    return StepFailure(what, "the file ended or failed to read at byte " +
                                 std::to_string(file.Position()));
}

} // namespace

int ProgressPercent(std::uint64_t sent, std::uint64_t total) {
    if (total == 0)
        return 100;
    return static_cast<int>(std::min<std::uint64_t>(sent * 100 / total, 100));
}

Status TransmitFileSimple(UartRunContext& run, InputFile& file, std::uint32_t totalSize,
                          std::uint32_t chunkSize, int bar, std::string_view what) {
    if (chunkSize == 0)
        return StepFailure(what, "a chunk size of 0 would never finish");
    bar = run.ProgressBar(bar);
    run.SetProgress(bar, 0);
    std::vector<std::uint8_t> chunk(chunkSize);

    std::uint64_t sent = 0;
    if (chunkSize < totalSize) {
        while (sent + chunkSize <= totalSize) {
            if (Status r = ReadChunk(file, chunk, what); !r)
                return r;
            if (Status r = SendBytes(run.port, what, chunk); !r)
                return r;
            sent += chunkSize;
            run.SetProgress(bar, ProgressPercent(sent, totalSize));
        }
    }
    if (sent < totalSize) {
        const auto rest = std::span(chunk).first(static_cast<std::size_t>(totalSize - sent));
        if (Status r = ReadChunk(file, rest, what); !r)
            return r;
        if (Status r = SendBytes(run.port, what, rest); !r)
            return r;
    }
    run.SetProgress(bar, 100);
    return {};
}

Status TransmitFileParity(UartRunContext& run, InputFile& file, std::uint32_t totalSize,
                          std::uint32_t chunkSize, int bar, std::string_view what) {
    if (chunkSize == 0 || chunkSize % kWordSize != 0)
        return StepFailure(what, "the frame size must be a non-zero multiple of 4");
    bar = run.ProgressBar(bar);
    run.SetProgress(bar, 0);
    std::vector<std::uint8_t> frame(std::size_t{chunkSize} + kWordSize);
    const std::string frameStep = std::string(what) + " frame";
    const std::string ackStep = std::string(what) + " frame acknowledgement";

    std::uint64_t sent = 0;
    while (sent < totalSize) {
        const auto payload =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, totalSize - sent));
        std::fill_n(frame.begin(), chunkSize, kFrameFill);
        if (Status r = ReadChunk(file, std::span(frame).first(payload), what); !r)
            return r;
        SealParityFrame(frame);
        if (Status r = SendBytes(run.port, frameStep, frame); !r)
            return r;
        const Result<std::uint32_t> ack = ReceiveWord(run.port, ackStep, run.timeouts.reply);
        if (!ack)
            return Failure{ack.Error()};
        if (Status r = CheckAck(ackStep, *ack); !r)
            return r;
        run.SetProgress(bar, ProgressPercent(sent + chunkSize, totalSize));
        sent += chunkSize;
    }
    return {};
}

} // namespace marlow::uartloader
