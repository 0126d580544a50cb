#include "modem_device.h"

namespace marlow::emulators {

using modemlink::Frame;
using modemlink::FrameType;

ModemAnswer ModemDevice::Reply(const Frame& request, FrameType type, std::string_view text) {
    ModemAnswer answer;
    answer.reply = Frame{type, request.sequence, modemlink::EncodeText(text)};
    return answer;
}

ModemAnswer ModemDevice::Handle(const Frame& request) {
    switch (request.type) {
    case FrameType::Boot:
        return OnBoot(request);
    case FrameType::FileBegin:
        return OnFileBegin(request);
    case FrameType::FileData:
        return OnFileData(request);
    case FrameType::FileEnd:
        return OnFileEnd(request);
    case FrameType::EndOfProcess:
        ++endsOfProcess_;
        booted_ = false;
        current_.reset();
        return Reply(request, FrameType::Ack);
    case FrameType::Abort:
        ++aborts_;
        current_.reset();
        return Reply(request, FrameType::Ack);
    default:
        break;
    }
    return Reply(request, FrameType::Error, "Unknown request");
}

ModemAnswer ModemDevice::OnBoot(const Frame& request) {
    if (!modemlink::DecodeBoot(request.payload))
        return Reply(request, FrameType::Error, "Malformed boot request");
    ++boots_;
    if (boots_ <= faults_.stallBoots)
        return {ModemAnswer::Kind::Silence, {}};
    if (faults_.refuseBoot)
        return Reply(request, FrameType::Error, "Boot refused by the modem");
    booted_ = true;
    partsSinceBoot_ = 0;
    current_.reset();
    return Reply(request, FrameType::Ready, "Modem emulator ready");
}

ModemAnswer ModemDevice::OnFileBegin(const Frame& request) {
    if (!booted_)
        return Reply(request, FrameType::Error, "The modem is not booted");
    const std::optional<modemlink::FileBegin> begin = modemlink::DecodeFileBegin(request.payload);
    if (!begin)
        return Reply(request, FrameType::Error, "Malformed file announcement");
    ++partsSinceBoot_;
    if (partsSinceBoot_ == faults_.vanishAtPart)
        return {ModemAnswer::Kind::Vanish, {}};
    if (keepData_ && begin->size > kLargestFile)
        return Reply(request, FrameType::Error, "File too large for the modem: " + begin->name);
    current_ = ReceivedModemFile{begin->name, begin->kind, begin->option, {}, 0, 0};
    if (keepData_)
        current_->data.reserve(begin->size);
    announcedSize_ = begin->size;
    return Reply(request, FrameType::Ack);
}

ModemAnswer ModemDevice::OnFileData(const Frame& request) {
    if (!current_)
        return Reply(request, FrameType::Error, "No file in progress");
    const std::optional<modemlink::FileData> data = modemlink::DecodeFileData(request.payload);
    if (!data)
        return Reply(request, FrameType::Error, "Malformed file data");
    if (data->offset != current_->size)
        return Reply(request, FrameType::Error, "File data out of order: " + current_->name);
    if (std::uint64_t{current_->size} + data->bytes.size() > announcedSize_)
        return Reply(request, FrameType::Error, "More data than announced: " + current_->name);
    current_->crc =
        modemlink::Crc32Combine(current_->crc, modemlink::FileDataCrc(request), data->bytes.size());
    current_->size += static_cast<std::uint32_t>(data->bytes.size());
    if (keepData_)
        current_->data.insert(current_->data.end(), data->bytes.begin(), data->bytes.end());
    return Reply(request, FrameType::Ack);
}

ModemAnswer ModemDevice::OnFileEnd(const Frame& request) {
    if (!current_)
        return Reply(request, FrameType::Error, "No file in progress");
    const std::optional<std::uint32_t> crc = modemlink::DecodeFileEnd(request.payload);
    ReceivedModemFile file = std::move(*current_);
    current_.reset();
    if (!crc)
        return Reply(request, FrameType::Error, "Malformed file end");
    if (file.size != announcedSize_)
        return Reply(request, FrameType::Error, "File incomplete: " + file.name);
    if (*crc != file.crc)
        return Reply(request, FrameType::Error, "Checksum mismatch: " + file.name);
    if (partsSinceBoot_ == faults_.failPart)
        return Reply(request, FrameType::Error, "Flash write failed: " + file.name);
    files_.push_back(std::move(file));
    return Reply(request, FrameType::Ack);
}

} // namespace marlow::emulators
