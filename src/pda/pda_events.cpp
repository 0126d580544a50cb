#include "pda/pda_events.h"

namespace marlow::pda {

namespace {

using Fields = std::vector<EventField>;

std::int64_t Number(std::int64_t value) {
    return value;
}

const char* PartName(ImagePart part) {
    switch (part) {
    case ImagePart::Signature:
        return "signature";
    case ImagePart::RecordHeader:
        return "record-header";
    case ImagePart::RecordData:
        return "record-data";
    }
    return "?";
}

const char* ResultName(ReplyResult result) {
    switch (result) {
    case ReplyResult::Received:
        return "received";
    case ReplyResult::Nak:
        return "nak";
    case ReplyResult::NotRead:
        return "not-read";
    }
    return "?";
}

// One overload per event: its stable name and its fields.
EventRecord Record(const DeviceConnected& e) {
    return {"device-connected", {{"opened", e.opened}, {"serialNumber", e.serialNumber}}};
}
EventRecord Record(const DownloadCommanded& e) {
    return {"download-commanded", {{"phoneFollows", e.phoneFollows}}};
}
EventRecord Record(const DownloadRefused& e) {
    return {"download-refused", {{"deviceMissing", e.deviceMissing}}};
}
EventRecord Record(const PlanRefused& e) {
    return {"plan-refused", {{"reason", e.reason}}};
}
EventRecord Record(const StateEntered& e) {
    return {"state-entered",
            {{"state", std::string(StateName(e.state))},
             {"number", Number(e.imageNumber)},
             {"image", e.image}}};
}
EventRecord Record(const StateVisited& e) {
    return {"state-visited", {{"state", std::string(StateName(e.state))}, {"aborted", e.aborted}}};
}
EventRecord Record(const RunNote& e) {
    return {"note", {{"text", e.text}}};
}
EventRecord Record(const ListEntryRead& e) {
    return {"list-entry", {{"image", e.image}}};
}
EventRecord Record(const ImageOpened& e) {
    return {"image-opened", {{"path", e.path}, {"image", e.image}, {"listEntry", e.listEntry}}};
}
EventRecord Record(const ImageOpenFailed& e) {
    return {"image-open-failed", {{"path", e.path}}};
}
EventRecord Record(const PhoneGroupStarted&) {
    return {"phone-group", {}};
}
EventRecord Record(const PhoneFileListed& e) {
    return {"phone-file", {{"role", std::string(phone::PhoneFileRoleKey(e.role))}}};
}
EventRecord Record(const ImageStarted& e) {
    return {"image-started",
            {{"number", Number(e.imageNumber)},
             {"image", e.image},
             {"listEntry", e.listEntry},
             {"listTotal", Number(e.listTotal)}}};
}
EventRecord Record(const ImageReadFailed& e) {
    return {"image-read-failed", {{"part", std::string(PartName(e.part))}}};
}
EventRecord Record(const HeaderRead& e) {
    return {"header-read",
            {{"startAddress", Number(e.startAddress)}, {"imageLength", Number(e.imageLength)}}};
}
EventRecord Record(const ImageHeaderSending&) {
    return {"image-header-sending", {}};
}
EventRecord Record(const ImageHeaderSent&) {
    return {"image-header-sent", {}};
}
EventRecord Record(const PacketNotSent& e) {
    return {"packet-not-sent", {{"command", e.command}}};
}
EventRecord Record(const ReplyAwaited& e) {
    return {"reply",
            {{"command", CommandName(CodeOf(e.command))},
             {"result", std::string(ResultName(e.result))}}};
}
EventRecord Record(const DeviceAnswered&) {
    return {"device-answered", {}};
}
EventRecord Record(const ReplyReadFailed&) {
    return {"reply-read-failed", {}};
}
EventRecord Record(const TransferStarted& e) {
    return {"transfer-started", {{"image", e.image}, {"listEntry", e.listEntry}}};
}
EventRecord Record(const RecordStarted& e) {
    return {"record-started", {{"percent", Number(e.percent)}}};
}
EventRecord Record(const PercentReached& e) {
    return {
        "progress",
        {{"number", Number(e.imageNumber)}, {"image", e.image}, {"percent", Number(e.percent)}}};
}
EventRecord Record(const FlashWriteNear& e) {
    return {"flash-write-near", {{"image", e.image}, {"listEntry", e.listEntry}}};
}
EventRecord Record(const TransferStopped&) {
    return {"transfer-stopped", {}};
}
EventRecord Record(const EndRecordRead& e) {
    return {"end-record", {{"launchAddress", Number(e.launchAddress)}}};
}
EventRecord Record(const TransferEnding& e) {
    return {"transfer-ending", {{"xipWriteComplete", e.xipWriteComplete}}};
}
EventRecord Record(const PhoneDownNext& e) {
    return {"phone-down-next", {{"afterList", e.afterList}}};
}
EventRecord Record(const ImageEndSending& e) {
    return {"image-end-sending", {{"launchAddress", Number(e.launchAddress)}}};
}
EventRecord Record(const ImageEndSent&) {
    return {"image-end-sent", {}};
}
EventRecord Record(const FlashWriteStarted&) {
    return {"flash-write-started", {}};
}
EventRecord Record(const FlashWriteEnded& e) {
    return {"flash-write-ended", {{"stopped", e.stopped}}};
}
EventRecord Record(const PhoneDownSent&) {
    return {"phone-down-sent", {}};
}
EventRecord Record(const RunFinished& e) {
    return {"run-finished",
            {{"verdict", std::string(VerdictName(e.verdict))}, {"reason", e.reason}}};
}

} // namespace

EventRecord RecordOf(const PdaEvent& event) {
    return std::visit([](const auto& e) { return Record(e); }, event);
}

const char* EventName(const PdaEvent& event) {
    return RecordOf(event).event;
}

std::string DescribeEvent(const PdaEvent& event) {
    return DescribeRecord(RecordOf(event));
}

const char* StateName(PdaState state) {
    switch (state) {
    case PdaState::SIGNATURE_STATE:
        return "SIGNATURE_STATE";
    case PdaState::IMAGEHEADER_STATE:
        return "IMAGEHEADER_STATE";
    case PdaState::RECORDHEADER_STATE:
        return "RECORDHEADER_STATE";
    case PdaState::RECORDDATA_STATE:
        return "RECORDDATA_STATE";
    case PdaState::ENDOFTRANSFER_STATE:
        return "ENDOFTRANSFER_STATE";
    case PdaState::ERROR_STATE:
        return "ERROR_STATE";
    case PdaState::EXIT_STATE:
        return "EXIT_STATE";
    case PdaState::PHONEDOWN_STATE:
        return "PHONEDOWN_STATE";
    }
    return "?";
}

} // namespace marlow::pda
