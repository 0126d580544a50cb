#include "modem_host.h"

#include <algorithm>
#include <atomic>

namespace marlow::ifwd {

using modemlink::FrameType;
using modemlink::LineStatus;

namespace {

HostResult FromLine(LineStatus status, const char* step) {
    switch (status) {
    case LineStatus::Ok:
        return HostResult::Done();
    case LineStatus::Stopped:
        return HostResult::Stopped();
    case LineStatus::TimedOut:
        return HostResult::Failed(std::string("No answer from the modem (") + step + ")");
    case LineStatus::Closed:
        return HostResult::Failed(std::string("The modem link has gone (") + step + ")");
    case LineStatus::Failed:
        break;
    }
    return HostResult::Failed(std::string("Modem port I/O error (") + step + ")");
}

// Sequences go on from one port session to the next, so an answer that was
// still on its way when a session ended cannot pass for a new one's.
std::atomic<std::uint8_t> lastSequence{0};

std::uint8_t NextSequence() {
    return static_cast<std::uint8_t>(lastSequence.fetch_add(1) + 1);
}

int Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

} // namespace

HostResult ModemHost::Exchange(FrameType type, std::vector<std::uint8_t> payload,
                               std::chrono::milliseconds timeout, FrameType expected,
                               std::string* replyText) {
    const std::uint8_t sequence = NextSequence();
    const auto bytes = modemlink::EncodeFrame({type, sequence, std::move(payload)});
    const char* step = modemlink::FrameTypeName(type);
    const LineStatus sent = line_.WriteAll(bytes, timeouts_.reply);
    if (sent != LineStatus::Ok)
        return FromLine(sent, step);
    return AwaitReply(sequence, timeout, expected, step, replyText);
}

HostResult ModemHost::AwaitReply(std::uint8_t sequence, std::chrono::milliseconds timeout,
                                 FrameType expected, const char* step, std::string* replyText) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::uint8_t> incoming;
    for (;;) {
        while (std::optional<modemlink::Frame> reply = decoder_.Next()) {
            // A late answer to an earlier (aborted) request is not ours.
            if (reply->sequence != sequence)
                continue;
            if (reply->type == FrameType::Error)
                return HostResult::Failed(modemlink::DecodeText(reply->payload));
            if (reply->type != expected)
                return HostResult::Failed(std::string("Unexpected answer from the modem (") + step +
                                          ")");
            if (replyText != nullptr)
                *replyText = modemlink::DecodeText(reply->payload);
            return HostResult::Done();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        incoming.clear();
        const LineStatus got = line_.Read(incoming, std::max(left, std::chrono::milliseconds(0)));
        if (got != LineStatus::Ok)
            return FromLine(got, step);
        decoder_.Feed(incoming);
    }
}

HostResult ModemHost::Boot(const modemlink::ControlBlock& controlBlock,
                           const std::string& firmwareName) {
    return Exchange(FrameType::Boot, modemlink::EncodeBoot({controlBlock, firmwareName}),
                    timeouts_.boot, FrameType::Ready);
}

HostResult ModemHost::SendFile(modemlink::FileKind kind, std::uint32_t option,
                               const std::string& name, PartFile& file,
                               const std::function<void(int)>& progress) {
    const std::uint32_t size = file.Size();
    const HostResult begun =
        Exchange(FrameType::FileBegin, modemlink::EncodeFileBegin({kind, option, size, name}),
                 timeouts_.reply, FrameType::Ack);
    if (!begun.ok())
        return begun;
    const char* step = modemlink::FrameTypeName(FrameType::FileData);
    DataFrames frames(file);
    Result<std::optional<DataFrame>> frame = frames.Next();
    int shown = -1;
    while (frame && *frame) {
        const DataFrame& sending = **frame;
        if (const LineStatus sent = line_.WriteAll(sending.bytes, timeouts_.reply);
            sent != LineStatus::Ok)
            return FromLine(sent, step);
        // The next frame is read and summed while the modem checks this one.
        Result<std::optional<DataFrame>> next = frames.Next();
        if (const HostResult answered =
                AwaitReply(sending.sequence, timeouts_.reply, FrameType::Ack, step, nullptr);
            !answered.ok())
            return answered;
        if (const int percent = Percent(sending.end, size); percent != shown) {
            shown = percent;
            progress(percent);
        }
        frame = std::move(next);
    }
    if (!frame)
        return HostResult::Failed(frame.Error());
    return Exchange(FrameType::FileEnd, modemlink::EncodeFileEnd(frames.FileCrc()), timeouts_.reply,
                    FrameType::Ack);
}

Result<std::optional<ModemHost::DataFrame>> ModemHost::DataFrames::Next() {
    if (offset_ == file_.Size())
        return std::optional<DataFrame>();
    if (unsent_.empty()) {
        const std::span<std::uint8_t> next(
            block_.data(), std::min<std::size_t>(block_.size(), file_.Size() - offset_));
        if (Status read = file_.ReadNext(next); !read)
            return Failure{read.Error()};
        unsent_ = next;
    }
    const std::span<const std::uint8_t> chunk =
        unsent_.first(std::min(modemlink::kDataChunk, unsent_.size()));
    unsent_ = unsent_.subspan(chunk.size());
    // One pass over the bytes gives both the file's CRC and the frame's.
    const std::uint32_t chunkCrc = modemlink::Crc32(chunk);
    fileCrc_ = modemlink::Crc32Combine(fileCrc_, chunkCrc, chunk.size());
    DataFrame frame;
    frame.sequence = NextSequence();
    frame.bytes = modemlink::EncodeFrame(
        {FrameType::FileData, frame.sequence, modemlink::EncodeFileData(offset_, chunk)}, chunkCrc,
        chunk.size());
    offset_ += static_cast<std::uint32_t>(chunk.size());
    frame.end = offset_;
    return std::optional<DataFrame>(std::move(frame));
}

HostResult ModemHost::EndOfProcess() {
    return Exchange(FrameType::EndOfProcess, {}, timeouts_.reply, FrameType::Ack);
}

void ModemHost::SendAbort() {
    const auto bytes = modemlink::EncodeFrame({FrameType::Abort, NextSequence(), {}});
    line_.WriteAll(bytes, timeouts_.reply);
}

} // namespace marlow::ifwd
