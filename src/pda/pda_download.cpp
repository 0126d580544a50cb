#include "pda/pda_download.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/listed_path.h"
#include "common/path_rules.h"
#include "common/printable_text.h"
#include "common/regular_file.h"
#include "pda/boot_image.h"
#include "pda/list_file.h"
#include "pda/pda_protocol.h"

#include <array>
#include <cstdio>
#include <optional>

namespace marlow::pda {

using usb::CUsbPipe;
using usb::PipeRead;
using usb::StopCause;

namespace {

constexpr std::chrono::milliseconds kRetryPause{100};

// p = done / size * 100 + 1, at most 100, truncated: it starts at 1 and
// reaches 100 only near the end of the file.
int ProgressPercent(std::uint64_t bytesDone, std::uint64_t fileSize) {
    if (fileSize == 0)
        return 100;
    const double p = static_cast<double>(bytesDone) / static_cast<double>(fileSize) * 100.0 + 1.0;
    return p < 100.0 ? static_cast<int>(p) : 100;
}

// The pipe as the reply waits see it. A read that fails outright ends the
// run: it sets the aborted flag and the stop request and says so.
class PipeReplies : public ReplyChannel {
public:
    PipeReplies(CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& out, bool& aborted)
        : pipe_(pipe), context_(context), out_(out), aborted_(aborted) {}

    bool StopRequested() const override { return pipe_.StopRequested(); }

    ReplyRead ReadReplyByte(std::uint8_t& byte) override {
        switch (pipe_.ReadReplyByte(byte)) {
        case PipeRead::Ok:
            out_.Post(DeviceAnswered{});
            return ReplyRead::Ok;
        case PipeRead::Stopped:
            return ReplyRead::Stopped;
        case PipeRead::Failed:
            break;
        }
        aborted_ = true;
        pipe_.RequestStop(StopCause::Failure);
        out_.Post(ReplyReadFailed{});
        return ReplyRead::Failed;
    }

    void Pause(std::chrono::milliseconds duration) override {
        if (context_.pause)
            context_.pause(duration);
        else
            pipe_.PauseUnlessStopped(duration);
    }

private:
    CUsbPipe& pipe_;
    PdaRunContext& context_;
    PdaEventSink& out_;
    bool& aborted_;
};

class PdaRun {
public:
    PdaRun(CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& out)
        : pipe_(pipe), context_(context), out_(out), settings_(context.Settings()),
          plan_(context.CheckedPlan()), flash_(settings_.target == DownloadTarget::Flash),
          replies_(pipe, context, out, aborted_), g_AllDownLoad(!settings_.phoneOption) {}

    PdaRunOutcome Run();

private:
    bool Start();
    void Visit();
    void Signature();
    void ImageHeader();
    void RecordHeader();
    void RecordData();
    void EndOfTransfer();
    void PhoneDown();
    void Error();
    void Exit();

    Status OpenImage(const std::string& path);
    // The image just opened is the one the check read in its place, and the
    // same file still; the end of its sending finds it unchanged too.
    Status SameAsChecked(const std::string& path);
    Status UnchangedWhileSent() const;
    // Succeeds when the next chunk of the record is in its packet slot. A
    // batch of chunks is read at once and its packets go out together.
    Status NextChunkRead();
    // Whether the slot's packet went out with its batch; when it did not,
    // says so as Send does.
    bool SentWithBatch(std::size_t slot);
    void ReadPhoneGroup(const std::string& firstName);
    // The reply wait with its texts; true when the expected reply came.
    bool Await(PdaCommand command);
    // Writes a packet; when it does not go out, says so and goes to
    // ERROR_STATE.
    bool Send(std::span<const std::uint8_t> packet);
    bool Sent(std::uint8_t code, bool wentOut);
    // DOWNLOAD_DONE_CMD and PHONE_DOWN_CMD: their states decide what a lost
    // packet means.
    bool SendFinal(PdaCommand command);
    void GoTo(PdaState state);
    void Fail(std::string error);
    // The verdict rests first on what the run achieved, then on the cause
    // that came with its stop request.
    RunFinished Judge() const;
    void Pause();

    CUsbPipe& pipe_;
    PdaRunContext& context_;
    PdaEventSink& out_;
    const PdaSettings settings_;
    const std::optional<DownloadPlan> plan_;
    const bool flash_;
    PipeReplies replies_;
    PdaPacketBuilder packets_;

    PdaState state_ = static_cast<PdaState>(0); // none yet

    // The handset documentation's flags, kept for this run alone: the run
    // failed; no phone download is to follow (a list's phone group clears
    // it); the list is used up.
    bool aborted_ = false;
    bool g_AllDownLoad;
    bool XIPWriteComplete = false;
    // What the list's phone group named, for the phone download.
    phone::PhoneFileSet phoneFiles_;
    bool handedOver_ = false;
    BootImageReader image_;
    std::string imagePath_;
    std::size_t imagesOpened_ = 0;
    const PlannedImage* checked_ = nullptr; // the plan's entry for the open image
    std::uint64_t fileSize_ = 0;
    std::uint64_t bytesDone_ = 0;
    pda::RecordHeader record_;
    std::uint32_t offsetInRecord_ = 0;
    // The record's data are read a batch of chunks ahead, each straight into
    // the slot of the packet that sends it, and the packets of the slots
    // read go out together: slots [0, read) hold data, [0, sent) went out,
    // `next` is the chunk the run is at, and a batch that read fewer than it
    // `wanted` met the end of the file or a read error.
    struct ChunkBatch {
        std::size_t next = 0;
        std::size_t read = 0;
        std::size_t sent = 0;
        std::size_t wanted = 0;
        Status shortBy; // why read fell short of wanted
    } batch_;
    std::uint32_t launchAddress_ = 0;
    bool listRun_ = false;
    int listTotal_ = 0;
    std::string listDirectory_;
    std::optional<InputFile> listFile_;
    std::optional<LineReader> listLines_;
    int imagesStarted_ = 0;
    std::string displayName_;
    std::string error_;
    // What the run was doing last: the state it worked in or the command it
    // sent, for the verdict's reason.
    std::string step_;
    bool exitReported_ = false;
};

PdaRunOutcome PdaRun::Run() {
    pipe_.SetCompleted(false);
    if (Start())
        while (!pipe_.StopRequested())
            Visit();
    // The boot loader leaves the bus as soon as it has its last command, and
    // the watcher's stop request for that removal can beat the final visit.
    // The run has completed all the same, so it still says so.
    if (state_ == PdaState::EXIT_STATE && pipe_.Completed() && !exitReported_)
        Exit();
    // Image and list are closed on every path, however the run ended.
    image_.Close();
    listLines_.reset();
    listFile_.reset();
    context_.flashWriting = false;

    PdaRunOutcome outcome{.finished = Judge(), .handOver = std::nullopt};
    if (handedOver_ && outcome.Passed())
        outcome.handOver = HandOver{phoneFiles_, pipe_.UsbPortPath()};
    out_.Post(outcome.finished);
    return outcome;
}

RunFinished PdaRun::Judge() const {
    if (pipe_.Completed() && !aborted_)
        return {Verdict::Passed, {}};
    const std::string during = " during " + (step_.empty() ? std::string("the start") : step_);
    switch (pipe_.Cause()) {
    case StopCause::DeviceRemoved:
        return {Verdict::DeviceRemoved, "the handset was removed" + during};
    case StopCause::Operator:
        return {Verdict::Stopped, "stopped by the operator" + during};
    case StopCause::TimedOut:
        return {Verdict::Failed, "timed out" + during};
    case StopCause::None:
    case StopCause::EndOfRun:
    case StopCause::Failure:
        break;
    }
    return {Verdict::Failed, error_.empty() ? "the download ended unfinished" + during : error_};
}

bool PdaRun::Start() {
    const std::string& path = settings_.downloadPath;
    listRun_ = ToLowerAscii(LastChars(path, 4)) == ".lst";
    listTotal_ = ListCounterTotal(ListKindOf(path));
    if (listRun_) {
        Result<InputFile> list = InputFile::Open(path);
        if (!list) {
            aborted_ = true;
            error_ = "cannot open the list " + Printable(path) + ": " + list.Error();
            return false;
        }
        listFile_ = std::move(list).Value();
        if (plan_ && plan_->listIdentity) {
            const Result<FileIdentity> now = IdentityOf(::fileno(listFile_->Handle()));
            const std::string change =
                now ? ChangeBetween(*plan_->listIdentity, *now) : now.Error();
            if (!change.empty()) {
                aborted_ = true;
                error_ = Printable(path) + " changed after it was checked (" + change +
                         "): start the download again, so that it is checked anew";
                return false;
            }
        }
        listLines_.emplace(listFile_->Handle(), kListLineLimits);
        listDirectory_ = DirectoryPart(path);
        GoTo(PdaState::SIGNATURE_STATE);
        return true;
    }
    if (const Status opened = OpenImage(path); !opened) {
        aborted_ = true;
        error_ = opened.Error();
        return false;
    }
    displayName_ = FileNamePart(path);
    out_.Post(ImageOpened{Printable(path), displayName_, false});
    GoTo(PdaState::IMAGEHEADER_STATE);
    return true;
}

void PdaRun::Visit() {
    switch (state_) {
    case PdaState::SIGNATURE_STATE:
        return Signature();
    case PdaState::IMAGEHEADER_STATE:
        return ImageHeader();
    case PdaState::RECORDHEADER_STATE:
        return RecordHeader();
    case PdaState::RECORDDATA_STATE:
        return RecordData();
    case PdaState::ENDOFTRANSFER_STATE:
        return EndOfTransfer();
    case PdaState::ERROR_STATE:
        return Error();
    case PdaState::EXIT_STATE:
        return Exit();
    case PdaState::PHONEDOWN_STATE:
        return PhoneDown();
    }
}

void PdaRun::Signature() {
    out_.Post(StateVisited{PdaState::SIGNATURE_STATE});
    std::string line;
    const LineStatus status = listLines_->Next(line);
    if (status == LineStatus::EndOfFile) {
        XIPWriteComplete = true;
        return GoTo(PdaState::ENDOFTRANSFER_STATE);
    }
    if (status != LineStatus::Line) {
        // A list that cannot be read to its end is no short list: the
        // images after the fault would silently be left out.
        Fail(Printable(settings_.downloadPath) + ": " + listLines_->Fault());
        return GoTo(PdaState::ERROR_STATE);
    }
    const ListLine entry = ClassifyListLine(line);
    switch (entry.kind) {
    case ListLineKind::ImageEntry: {
        displayName_ = entry.text;
        out_.Post(ListEntryRead{displayName_});
        const ListedPath listed = ResolveListedPath(listDirectory_, entry.text);
        if (listed.note)
            out_.Post(RunNote{*listed.note});
        const std::string& imagePath = listed.path;
        if (const Status opened = OpenImage(imagePath); !opened) {
            out_.Post(ImageOpenFailed{Printable(imagePath)});
            aborted_ = true;
            Fail(opened.Error());
            return GoTo(PdaState::ERROR_STATE);
        }
        out_.Post(ImageOpened{Printable(imagePath), displayName_, true});
        return GoTo(PdaState::IMAGEHEADER_STATE);
    }
    case ListLineKind::PhoneGroupStart:
        return ReadPhoneGroup(entry.text);
    case ListLineKind::EndOfList:
        XIPWriteComplete = true;
        return GoTo(PdaState::ENDOFTRANSFER_STATE);
    }
}

void PdaRun::ReadPhoneGroup(const std::string& firstName) {
    out_.Post(PhoneGroupStarted{});
    const PhoneGroup group = pda::ReadPhoneGroup(*listLines_, firstName, listDirectory_);
    for (const Note& note : group.notes)
        out_.Post(RunNote{note.text});
    for (const PhoneGroupFile& file : group.files) {
        if (file.role != phone::PhoneFileRole::None)
            phoneFiles_[file.role] = {file.name, file.path};
        out_.Post(PhoneFileListed{file.role});
    }
    if (!group.read) {
        // A phone file that cannot be named in full would hand the phone
        // download a wrong path; stop here instead.
        Fail(settings_.downloadPath + ": " + group.read.Error());
        return GoTo(PdaState::ERROR_STATE);
    }
    g_AllDownLoad = false;
    XIPWriteComplete = true;
    GoTo(PdaState::ENDOFTRANSFER_STATE);
}

void PdaRun::ImageHeader() {
    bytesDone_ = 0;
    ++imagesStarted_;
    out_.Post(ImageStarted{imagesStarted_, displayName_, listRun_, listRun_ ? listTotal_ : 0});

    const Result<pda::ImageHeader> header = image_.ReadHeader();
    if (!header) {
        out_.Post(ImageReadFailed{ImagePart::Signature});
        Fail(header.Error());
        image_.Close();
        return GoTo(PdaState::ERROR_STATE);
    }
    out_.Post(HeaderRead{header->startAddress, header->imageLength});
    out_.Post(ImageHeaderSending{});
    if (!Send(packets_.EraseRam(*header)))
        return;
    out_.Post(ImageHeaderSent{});
    if (!Await(PdaCommand::ERASE_RAM_CMD))
        return;
    out_.Post(TransferStarted{displayName_, listRun_});
    GoTo(PdaState::RECORDHEADER_STATE);
}

void PdaRun::RecordHeader() {
    out_.Post(StateVisited{PdaState::RECORDHEADER_STATE});
    offsetInRecord_ = 0;
    record_ = {};
    batch_ = {};
    const Result<pda::RecordHeader> header = image_.ReadRecordHeader();
    if (!header) {
        out_.Post(ImageReadFailed{ImagePart::RecordHeader});
        Fail(header.Error());
        image_.Close();
        return GoTo(PdaState::ERROR_STATE);
    }
    record_ = *header;
    if (record_.IsEndRecord()) {
        if (const Status unchanged = UnchangedWhileSent(); !unchanged) {
            out_.Post(ImageReadFailed{ImagePart::RecordData});
            Fail(unchanged.Error());
            image_.Close();
            return GoTo(PdaState::ERROR_STATE);
        }
        launchAddress_ = record_.LaunchAddress();
        out_.Post(EndRecordRead{launchAddress_});
        if (listRun_)
            image_.Close();
        return GoTo(PdaState::ENDOFTRANSFER_STATE);
    }
    bytesDone_ += kRecordHeaderSize;
    GoTo(PdaState::RECORDDATA_STATE);
}

void PdaRun::RecordData() {
    const int percentBefore = ProgressPercent(bytesDone_, fileSize_);
    if (offsetInRecord_ == 0)
        out_.Post(RecordStarted{percentBefore});
    if (offsetInRecord_ >= record_.length) {
        if (Send(packets_.Single(PdaCommand::LAST_DATA_IN_RECORD)) &&
            Await(PdaCommand::LAST_DATA_IN_RECORD))
            GoTo(PdaState::RECORDHEADER_STATE);
        return;
    }

    const std::size_t n = ChunkSize(record_.length, offsetInRecord_);
    if (const Status read = NextChunkRead(); !read) {
        out_.Post(ImageReadFailed{ImagePart::RecordData});
        Fail(read.Error());
        image_.Close();
        return GoTo(PdaState::ERROR_STATE);
    }
    if (!SentWithBatch(batch_.next++))
        return;
    bytesDone_ += n;
    const int percentAfter = ProgressPercent(bytesDone_, fileSize_);

    if (pipe_.StopRequested()) {
        out_.Post(TransferStopped{});
        return GoTo(PdaState::ERROR_STATE);
    }
    if (percentAfter != percentBefore)
        out_.Post(PercentReached{imagesStarted_, displayName_, percentAfter});
    if (percentBefore >= 99 && flash_) {
        // The front panel's Stop waits while this is set.
        context_.flashWriting = true;
        out_.Post(FlashWriteNear{displayName_, listRun_});
    }
    offsetInRecord_ += static_cast<std::uint32_t>(kMaxChunk);
}

void PdaRun::EndOfTransfer() {
    out_.Post(TransferEnding{XIPWriteComplete});
    if (XIPWriteComplete) {
        if (!g_AllDownLoad) {
            out_.Post(PhoneDownNext{true});
            return GoTo(PdaState::PHONEDOWN_STATE);
        }
        if (SendFinal(PdaCommand::DOWNLOAD_DONE_CMD)) {
            pipe_.SetCompleted(true);
            return GoTo(PdaState::EXIT_STATE);
        }
    }

    const std::span<const std::uint8_t> lastData = packets_.LastDataInImage(launchAddress_);
    out_.Post(ImageEndSending{launchAddress_});
    if (!Send(lastData))
        return;
    out_.Post(ImageEndSent{});
    if (!Await(PdaCommand::LAST_DATA_IN_IMAGE))
        return;
    image_.Close();

    if (flash_) {
        out_.Post(FlashWriteStarted{});
        if (!Send(packets_.Single(PdaCommand::WRITE_FLSH_CMD)))
            return;
        const FlashWait wait = AwaitFlashWritten(replies_);
        if (wait.outcome == FlashOutcome::Stopped) {
            out_.Post(FlashWriteEnded{true});
            Fail(wait.error);
            return GoTo(PdaState::EXIT_STATE);
        }
        if (wait.outcome == FlashOutcome::Failed) {
            Fail(wait.error);
            return GoTo(PdaState::ERROR_STATE);
        }
        context_.flashWriting = false;
        out_.Post(FlashWriteEnded{false});
    }

    if (listRun_)
        return GoTo(PdaState::SIGNATURE_STATE);
    if (!g_AllDownLoad) {
        out_.Post(PhoneDownNext{false});
        return GoTo(PdaState::PHONEDOWN_STATE);
    }
    if (SendFinal(PdaCommand::DOWNLOAD_DONE_CMD)) {
        pipe_.SetCompleted(true);
        return GoTo(PdaState::EXIT_STATE);
    }
    // Not sent: this state runs again from its start.
    Pause();
}

void PdaRun::PhoneDown() {
    out_.Post(StateVisited{PdaState::PHONEDOWN_STATE});
    if (!SendFinal(PdaCommand::PHONE_DOWN_CMD)) {
        // Tried again at the next visit, until a stop request ends the run;
        // the pause keeps a vanished device from spinning the thread.
        return Pause();
    }
    out_.Post(PhoneDownSent{});
    error_.clear();
    g_AllDownLoad = true;
    handedOver_ = true;
    pipe_.SetCompleted(true);
    GoTo(PdaState::EXIT_STATE);
}

void PdaRun::Error() {
    out_.Post(StateVisited{PdaState::ERROR_STATE});
    aborted_ = true;
    GoTo(PdaState::EXIT_STATE);
    Exit();
}

void PdaRun::Exit() {
    exitReported_ = true;
    out_.Post(StateVisited{PdaState::EXIT_STATE, aborted_});
    pipe_.RequestStop(StopCause::EndOfRun);
}

Status PdaRun::OpenImage(const std::string& path) {
    Status opened = image_.Open(path);
    if (opened)
        opened = SameAsChecked(path);
    if (!opened)
        image_.Close();
    fileSize_ = opened ? image_.FileSize() : 0;
    return opened;
}

Status PdaRun::SameAsChecked(const std::string& path) {
    imagePath_ = path;
    checked_ = nullptr;
    if (!plan_)
        return {};
    const std::size_t index = imagesOpened_++;
    if (index >= plan_->images.size() || plan_->images[index].path != path)
        return Failure{Printable(settings_.downloadPath) +
                       " changed after it was checked: it now names " + Printable(path) +
                       "; start the download again, so that it is checked anew"};
    checked_ = &plan_->images[index];
    if (!checked_->identity)
        return {};
    const std::string change = ChangeBetween(*checked_->identity, image_.Identity());
    if (change.empty())
        return {};
    return Failure{Printable(path) + " changed after it was checked (" + change +
                   "): start the download again, so that it is checked anew"};
}

Status PdaRun::UnchangedWhileSent() const {
    if (checked_ == nullptr || !checked_->identity)
        return {};
    const Result<FileIdentity> now = image_.IdentityNow();
    const std::string change = now ? ChangeBetween(*checked_->identity, *now) : now.Error();
    if (change.empty())
        return {};
    return Failure{Printable(imagePath_) + " changed while it was sent (" + change +
                   "): download it again once it is complete"};
}

Status PdaRun::NextChunkRead() {
    if (batch_.next < batch_.read)
        return {};
    if (batch_.read < batch_.wanted) // the last batch fell short
        return batch_.shortBy;
    std::array<std::span<std::uint8_t>, kRecordDataBatch> places;
    std::size_t count = 0;
    for (std::uint64_t offset = offsetInRecord_; count < places.size() && offset < record_.length;
         offset += kMaxChunk, ++count)
        places[count] = packets_.RecordDataSpace(
            count, ChunkSize(record_.length, static_cast<std::uint32_t>(offset)));
    PartialRead read = image_.ReadData(std::span(places.data(), count));
    batch_ = {.next = 0,
              .read = read.filled,
              .sent = 0,
              .wanted = count,
              .shortBy = std::move(read.status)};
    std::array<std::span<const std::uint8_t>, kRecordDataBatch> packets;
    for (std::size_t slot = 0; slot < batch_.read; ++slot)
        packets[slot] = packets_.RecordData(
            slot, ChunkAddress(record_.address, offsetInRecord_ + slot * kMaxChunk),
            places[slot].size());
    batch_.sent = pipe_.WritePipeEach(std::span(packets.data(), batch_.read));
    return batch_.read > 0 ? Status() : batch_.shortBy;
}

bool PdaRun::SentWithBatch(std::size_t slot) {
    return Sent(CodeOf(PdaCommand::RECORD_DATA_CMD), slot < batch_.sent);
}

bool PdaRun::Await(PdaCommand command) {
    const ReplyWait wait = AwaitReply(replies_, command);
    if (wait.outcome == ReplyOutcome::Received) {
        out_.Post(ReplyAwaited{command, ReplyResult::Received});
        return true;
    }
    if (wait.outcome == ReplyOutcome::Nak)
        out_.Post(ReplyAwaited{command, ReplyResult::Nak});
    out_.Post(ReplyAwaited{command, ReplyResult::NotRead});
    Fail(wait.error);
    GoTo(wait.outcome == ReplyOutcome::Stopped ? PdaState::EXIT_STATE : PdaState::ERROR_STATE);
    return false;
}

bool PdaRun::Send(std::span<const std::uint8_t> packet) {
    step_ = CommandName(packet[0]);
    return Sent(packet[0], pipe_.WritePipe(packet));
}

bool PdaRun::Sent(std::uint8_t code, bool wentOut) {
    step_ = CommandName(code);
    if (wentOut)
        return true;
    out_.Post(PacketNotSent{CommandName(code)});
    Fail(CommandName(code) + ": the packet could not be written");
    GoTo(PdaState::ERROR_STATE);
    return false;
}

bool PdaRun::SendFinal(PdaCommand command) {
    step_ = CommandName(CodeOf(command));
    if (pipe_.WritePipe(packets_.Single(command)))
        return true;
    Fail(CommandName(CodeOf(command)) + ": the packet could not be written");
    return false;
}

void PdaRun::GoTo(PdaState state) {
    if (state == state_)
        return;
    state_ = state;
    if (state != PdaState::ERROR_STATE && state != PdaState::EXIT_STATE)
        step_ = StateName(state);
    out_.Post(StateEntered{state, imagesStarted_, displayName_});
}

void PdaRun::Fail(std::string error) {
    if (error_.empty())
        error_ = std::move(error);
}

void PdaRun::Pause() {
    replies_.Pause(kRetryPause);
}

} // namespace

PdaRunOutcome RunPdaDownload(CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events) {
    return PdaRun(pipe, context, events).Run();
}

} // namespace marlow::pda
