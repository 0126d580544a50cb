// Arbitrary bytes on the modem link, arriving in arbitrary pieces, as the
// download library and the modem emulator read them: every frame that comes
// out is intact and encodes back to itself, no byte is counted twice, and the
// modem answers each request in its own sequence without harm. The CRC of a
// frame's file bytes, worked out from the frame's own, is theirs.
//
// The first byte sets the piece size; the rest is the line.
#include "emulators/modem_device.h"
#include "modemlink/modem_wire.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::modemlink;
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + static_cast<std::size_t>(data[0] % 64) * 97;
    std::span<const std::uint8_t> line(data + 1, size - 1);
    const std::size_t lineSize = line.size();

    FrameDecoder decoder;
    // Checks sizes and checksums as files come, keeping no bytes.
    marlow::emulators::ModemDevice modemDevice({}, false);
    std::size_t framed = 0;
    while (!line.empty()) {
        const std::size_t n = std::min(piece, line.size());
        decoder.Feed(line.first(n));
        line = line.subspan(n);
        while (const std::optional<Frame> frame = decoder.Next()) {
            if (frame->payload.size() > kMaxPayload)
                std::abort();
            const std::vector<std::uint8_t> bytes = EncodeFrame(*frame);
            framed += bytes.size();
            FrameDecoder again;
            again.Feed(bytes);
            if (again.Next() != frame || again.Discarded() != 0)
                std::abort();

            (void)DecodeBoot(frame->payload);
            (void)DecodeFileBegin(frame->payload);
            if (const std::optional<FileData> fileData = DecodeFileData(frame->payload);
                fileData && FileDataCrc(*frame) != Crc32(fileData->bytes))
                std::abort();
            (void)DecodeFileEnd(frame->payload);
            (void)DecodeText(frame->payload);
            const marlow::emulators::ModemAnswer answer = modemDevice.Handle(*frame);
            if (answer.kind == marlow::emulators::ModemAnswer::Kind::Reply &&
                answer.reply.sequence != frame->sequence)
                std::abort();
        }
    }
    if (framed + decoder.Discarded() > lineSize)
        std::abort();
    return 0;
}
