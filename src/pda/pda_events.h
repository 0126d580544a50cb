#pragma once
// What a PDA download tells, as typed events: facts of the run (a state
// entered or worked in, an image opened, a header read, a reply that came or
// did not), never words. The main-window skin and the front-panel skin turn
// them into the texts and controls of their presentation; the CLI also
// prints them as JSON lines; tests record them and compare whole sequences.
//
// Events come from the download thread (and, for the connected display and
// the download command, from the watcher's thread), one at a time and in
// order. Every run ends with exactly one RunFinished.

#include "common/event_fields.h"
#include "common/run_verdict.h"
#include "pda/pda_protocol.h"
#include "phone/phone_files.h"

#include <cstdint>
#include <string>
#include <variant>

namespace marlow::pda {

enum class PdaState : int {
    SIGNATURE_STATE = 1,
    IMAGEHEADER_STATE = 2,
    RECORDHEADER_STATE = 3,
    RECORDDATA_STATE = 4,
    ENDOFTRANSFER_STATE = 5,
    ERROR_STATE = 6,
    EXIT_STATE = 7,
    PHONEDOWN_STATE = 8,
};

const char* StateName(PdaState state);

// The watcher opened the device (or found it closed after opening).
struct DeviceConnected {
    bool opened = true;
    // The handset's serial number string where it has one (read as it opened).
    std::string serialNumber{};
    bool operator==(const DeviceConnected&) const = default;
};
// The main window's download command: `phoneFollows` when the Phone option
// leaves a phone download after this one.
struct DownloadCommanded {
    bool phoneFollows = false;
    bool operator==(const DownloadCommanded&) const = default;
};
// The download command found no device, or no file.
struct DownloadRefused {
    bool deviceMissing = false;
    bool operator==(const DownloadRefused&) const = default;
};
// The download file failed its check before the handset was touched; the
// reason is the check's own.
struct PlanRefused {
    std::string reason;
    bool operator==(const PlanRefused&) const = default;
};
struct StateEntered {
    PdaState state = PdaState::SIGNATURE_STATE;
    int imageNumber = 0; // from 1; 0 before the first image
    std::string image;   // display name
    bool operator==(const StateEntered&) const = default;
};
// A visit of a state that does its work each time it runs: SIGNATURE_STATE,
// RECORDHEADER_STATE, PHONEDOWN_STATE, ERROR_STATE and EXIT_STATE (with
// `aborted`: the run context's aborted flag as the run ends).
struct StateVisited {
    PdaState state = PdaState::SIGNATURE_STATE;
    bool aborted = false;
    bool operator==(const StateVisited&) const = default;
};
// A note on the way (a listed path taken as it is, a phone file left out).
struct RunNote {
    std::string text;
    bool operator==(const RunNote&) const = default;
};
// A list named an image: its name before it is opened.
struct ListEntryRead {
    std::string image;
    bool operator==(const ListEntryRead&) const = default;
};
struct ImageOpened {
    std::string path; // printable
    std::string image;
    bool listEntry = false;
    bool operator==(const ImageOpened&) const = default;
};
struct ImageOpenFailed {
    std::string path; // printable
    bool operator==(const ImageOpenFailed&) const = default;
};
// A list's phone group began, and the files it named, by role.
struct PhoneGroupStarted {
    bool operator==(const PhoneGroupStarted&) const = default;
};
struct PhoneFileListed {
    phone::PhoneFileRole role = phone::PhoneFileRole::None;
    bool operator==(const PhoneFileListed&) const = default;
};
// IMAGEHEADER_STATE began an image. In a list run `listTotal` is the count
// of images the list's kind stands for (0: a kind with no count).
struct ImageStarted {
    int imageNumber = 0; // from 1
    std::string image;
    bool listEntry = false;
    int listTotal = 0;
    bool operator==(const ImageStarted&) const = default;
};
enum class ImagePart { Signature, RecordHeader, RecordData };
struct ImageReadFailed {
    ImagePart part = ImagePart::Signature;
    bool operator==(const ImageReadFailed&) const = default;
};
struct HeaderRead {
    std::uint32_t startAddress = 0;
    std::uint32_t imageLength = 0;
    bool operator==(const HeaderRead&) const = default;
};
// The image header packet (ERASE_RAM_CMD) about to go out, and gone out.
struct ImageHeaderSending {
    bool operator==(const ImageHeaderSending&) const = default;
};
struct ImageHeaderSent {
    bool operator==(const ImageHeaderSent&) const = default;
};
struct PacketNotSent {
    std::string command; // CommandName
    bool operator==(const PacketNotSent&) const = default;
};
enum class ReplyResult { Received, Nak, NotRead };
// What a reply wait came to. A NAK is followed by NotRead.
struct ReplyAwaited {
    PdaCommand command = PdaCommand::ERASE_RAM_CMD;
    ReplyResult result = ReplyResult::Received;
    bool operator==(const ReplyAwaited&) const = default;
};
// A reply byte came, also one that a wait passes over: the device is alive.
struct DeviceAnswered {
    bool operator==(const DeviceAnswered&) const = default;
};
// Reading a reply failed outright: the run ends.
struct ReplyReadFailed {
    bool operator==(const ReplyReadFailed&) const = default;
};
// The device erased its RAM for the image: the data transfer begins.
struct TransferStarted {
    std::string image;
    bool listEntry = false;
    bool operator==(const TransferStarted&) const = default;
};
// A record's data begins, at `percent` of the image.
struct RecordStarted {
    int percent = 0;
    bool operator==(const RecordStarted&) const = default;
};
// A chunk went out and moved the image's percentage.
struct PercentReached {
    int imageNumber = 0;
    std::string image;
    int percent = 0;
    bool operator==(const PercentReached&) const = default;
};
// A chunk of an image bound for flash went out from 99 % on: the handset
// is about to write its flash.
struct FlashWriteNear {
    std::string image;
    bool listEntry = false;
    bool operator==(const FlashWriteNear&) const = default;
};
// A stop request came while the record's data went out.
struct TransferStopped {
    bool operator==(const TransferStopped&) const = default;
};
// The image's end record was read.
struct EndRecordRead {
    std::uint32_t launchAddress = 0;
    bool operator==(const EndRecordRead&) const = default;
};
// ENDOFTRANSFER_STATE's visit, before it decides.
struct TransferEnding {
    bool xipWriteComplete = false;
    bool operator==(const TransferEnding&) const = default;
};
// The phone download comes next: after a list's last entry, or after an
// image.
struct PhoneDownNext {
    bool afterList = false;
    bool operator==(const PhoneDownNext&) const = default;
};
struct ImageEndSending {
    std::uint32_t launchAddress = 0;
    bool operator==(const ImageEndSending&) const = default;
};
// LAST_DATA_IN_IMAGE went out; its reply may take a flash write's time.
struct ImageEndSent {
    bool operator==(const ImageEndSent&) const = default;
};
struct FlashWriteStarted {
    bool operator==(const FlashWriteStarted&) const = default;
};
struct FlashWriteEnded {
    bool stopped = false; // a stop request cut the wait short
    bool operator==(const FlashWriteEnded&) const = default;
};
// PHONE_DOWN_CMD went out: the phone download takes over.
struct PhoneDownSent {
    bool operator==(const PhoneDownSent&) const = default;
};

using PdaEvent =
    std::variant<DeviceConnected, DownloadCommanded, DownloadRefused, PlanRefused, StateEntered,
                 StateVisited, RunNote, ListEntryRead, ImageOpened, ImageOpenFailed,
                 PhoneGroupStarted, PhoneFileListed, ImageStarted, ImageReadFailed, HeaderRead,
                 ImageHeaderSending, ImageHeaderSent, PacketNotSent, ReplyAwaited, DeviceAnswered,
                 ReplyReadFailed, TransferStarted, RecordStarted, PercentReached, FlashWriteNear,
                 TransferStopped, EndRecordRead, TransferEnding, PhoneDownNext, ImageEndSending,
                 ImageEndSent, FlashWriteStarted, FlashWriteEnded, PhoneDownSent, RunFinished>;

class PdaEventSink {
public:
    virtual ~PdaEventSink() = default;
    // One call at a time, in order; it must not call back into the run.
    virtual void Post(const PdaEvent& event) = 0;
};

// The event's stable kebab-case name ("state-entered", "run-finished") and
// its fields by stable name: what `--json` prints, one object per event.
EventRecord RecordOf(const PdaEvent& event);
const char* EventName(const PdaEvent& event);
// One line for people: the name and the fields, texts escaped.
std::string DescribeEvent(const PdaEvent& event);

} // namespace marlow::pda
