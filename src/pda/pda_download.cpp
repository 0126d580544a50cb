#include "pda/pda_download.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/listed_path.h"
#include "common/path_rules.h"
#include "common/printable_text.h"
#include "pda/boot_image.h"
#include "pda/list_file.h"
#include "pda/pda_protocol.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <optional>

namespace marlow::pda {

using usb::CUsbPipe;
using usb::PipeRead;
using usb::StopCause;

namespace {

constexpr std::chrono::milliseconds kRetryPause{100};

const char* const kFailedInTransmitting = "\nFailed in Transmitting";
const char* const kDownloadAbortedStatus = "Download Aborted! Reconnect the Device to Retry";
const char* const kStartWritingToFlash =
    "\n\n Transferred Data to RAM Successfully!\t\t\t\t\t\t                 \n\n"
    "|--------------------[ Start Writing to Flash ]----------------------|\t\t\t\t\t\t\t\t\t\t"
    " \n            Waiting for Writing Flash!!!!             \t\t\t\t\t\t\t\t\t\t \n"
    "       - See the Debug Message Window for Writing State ! - \t\t\t\t\t\t\t\t\t\t \n"
    "|-------------------------------------------------------------------|";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

const char* PhoneEventText(phone::PhoneFileRole role) {
    switch (role) {
    case phone::PhoneFileRole::PsiLoader:
        return "psi.flb File Loading OK!!";
    case phone::PhoneFileRole::SecondStageLoader:
        return "slb.flb File Loading OK!!";
    case phone::PhoneFileRole::Firmware:
        return "*.flb File Loading OK!!";
    case phone::PhoneFileRole::Eeprom:
        return "*.eep File Loading OK!!";
    case phone::PhoneFileRole::None:
        break;
    }
    return "No Match File Error!!";
}

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
    PipeReplies(CUsbPipe& pipe, PdaRunContext& context, PdaPresentation& out, bool panel)
        : pipe_(pipe), context_(context), out_(out), panel_(panel) {}

    bool StopRequested() const override { return pipe_.StopRequested(); }

    ReplyRead ReadReplyByte(std::uint8_t& byte) override {
        switch (pipe_.ReadReplyByte(byte)) {
        case PipeRead::Ok:
            ReportAnswer();
            return ReplyRead::Ok;
        case PipeRead::Stopped:
            return ReplyRead::Stopped;
        case PipeRead::Failed:
            break;
        }
        context_.aborted = true;
        pipe_.RequestStop(StopCause::Failure);
        if (!panel_) {
            out_.DeviceStateTrace("\nFailed in Receiving Data");
            out_.DeviceStateTrace("\nDownload Aborted!");
            out_.StatusBar(kDownloadAbortedStatus);
        }
        return ReplyRead::Failed;
    }

    void Pause(std::chrono::milliseconds duration) override {
        if (context_.pause)
            context_.pause(duration);
        else
            pipe_.PauseUnlessStopped(duration);
    }

private:
    void ReportAnswer() {
        PdaProgressEvent answered;
        answered.kind = PdaProgressEvent::Kind::DeviceAnswered;
        out_.Progress(answered);
    }

    CUsbPipe& pipe_;
    PdaRunContext& context_;
    PdaPresentation& out_;
    bool panel_;
};

class PdaRun {
public:
    PdaRun(CUsbPipe& pipe, PdaRunContext& context, PdaPresentation& out)
        : pipe_(pipe), context_(context), out_(out), settings_(context.Settings()),
          panel_(settings_.frontPanelMode), flash_(settings_.target == DownloadTarget::Flash),
          replies_(pipe, context, out, settings_.frontPanelMode) {}

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

    bool OpenImage(const std::string& path);
    // True when the next chunk of the record is in its packet slot.
    bool NextChunkRead();
    void ReadPhoneGroup(const std::string& firstName);
    // The reply wait with its texts; true when the expected reply came.
    bool Await(PdaCommand command);
    // Writes a packet; when it does not go out, says so and goes to
    // ERROR_STATE.
    bool Send(std::span<const std::uint8_t> packet);
    // DOWNLOAD_DONE_CMD and PHONE_DOWN_CMD: their states decide what a lost
    // packet means.
    bool SendFinal(PdaCommand command);
    void GoTo(PdaState state);
    void Fail(std::string error);
    // The verdict rests first on what the run achieved, then on the cause
    // that came with its stop request.
    void Judge(PdaRunOutcome& outcome) const;
    void Trace(std::string_view text);
    void Pause();

    CUsbPipe& pipe_;
    PdaRunContext& context_;
    PdaPresentation& out_;
    const PdaSettings settings_;
    const bool panel_;
    const bool flash_;
    PipeReplies replies_;
    PdaPacketBuilder packets_;

    PdaState state_ = static_cast<PdaState>(0); // none yet
    bool XIPWriteComplete = false;
    BootImageReader image_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t bytesDone_ = 0;
    pda::RecordHeader record_;
    std::uint32_t offsetInRecord_ = 0;
    // The record's data are read a batch of chunks ahead, each straight into
    // the slot of the packet that sends it: slots [0, read) hold data, `next`
    // goes out next, and a batch that read fewer than it `wanted` met the end
    // of the file or a read error.
    struct ChunkBatch {
        std::size_t next = 0;
        std::size_t read = 0;
        std::size_t wanted = 0;
    } batch_;
    std::uint32_t launchAddress_ = 0;
    bool listRun_ = false;
    std::uint8_t listKind_ = 0;
    std::string listDirectory_;
    std::optional<InputFile> listFile_;
    std::optional<LineReader> listLines_;
    int imageCounter_ = 0;
    int imagesStarted_ = 0;
    std::string displayName_;
    std::string error_;
    // What the run was doing last: the state it worked in or the command it
    // sent, for the verdict's reason.
    std::string step_;
    bool exitReported_ = false;
};

PdaRunOutcome PdaRun::Run() {
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

    PdaRunOutcome outcome;
    outcome.completed = pipe_.Completed();
    outcome.aborted = context_.aborted;
    outcome.error = error_;
    Judge(outcome);
    if (!outcome.completed && outcome.error.empty())
        outcome.error = outcome.reason;
    PdaProgressEvent finished;
    finished.kind = PdaProgressEvent::Kind::Finished;
    finished.state = state_;
    finished.verdict = outcome.verdict;
    finished.reason = outcome.reason;
    out_.Progress(finished);
    return outcome;
}

void PdaRun::Judge(PdaRunOutcome& outcome) const {
    if (outcome.completed && !outcome.aborted) {
        outcome.verdict = PdaVerdict::Passed;
        return;
    }
    const std::string during = " during " + (step_.empty() ? std::string("the start") : step_);
    switch (pipe_.Cause()) {
    case StopCause::DeviceRemoved:
        outcome.verdict = PdaVerdict::DeviceRemoved;
        outcome.reason = "the handset was removed" + during;
        return;
    case StopCause::Operator:
        outcome.verdict = PdaVerdict::Stopped;
        outcome.reason = "stopped by the operator" + during;
        return;
    case StopCause::TimedOut:
        outcome.verdict = PdaVerdict::Failed;
        outcome.reason = "timed out" + during;
        return;
    case StopCause::None:
    case StopCause::EndOfRun:
    case StopCause::Failure:
        break;
    }
    outcome.verdict = PdaVerdict::Failed;
    outcome.reason =
        outcome.error.empty() ? "the download ended unfinished" + during : outcome.error;
}

bool PdaRun::Start() {
    pipe_.ClearStopRequest();
    context_.aborted = false;
    context_.cancelled = false;

    const std::string& path = settings_.downloadPath;
    listRun_ = ToLowerAscii(LastChars(path, 4)) == ".lst";
    listKind_ = ListKindOf(path);
    if (listRun_) {
        Result<InputFile> list = InputFile::Open(path);
        if (!list) {
            context_.aborted = true;
            error_ = "cannot open the list " + Printable(path) + ": " + list.Error();
            return false;
        }
        listFile_ = std::move(list).Value();
        listLines_.emplace(listFile_->Handle(), kListLineLimits);
        listDirectory_ = DirectoryPart(path);
        GoTo(PdaState::SIGNATURE_STATE);
        return true;
    }
    if (!OpenImage(path)) {
        context_.aborted = true;
        error_ = image_.LastErrorText();
        return false;
    }
    displayName_ = FileNamePart(path);
    out_.PanelFileName(displayName_);
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
    Trace("\n\nSIGNATURE_STATE");
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
        out_.PanelFileName(displayName_);
        const ListedPath listed = ResolveListedPath(listDirectory_, entry.text);
        if (listed.note)
            Trace(*listed.note);
        const std::string& imagePath = listed.path;
        if (!OpenImage(imagePath)) {
            out_.MessageBox(Printable(imagePath), "File Open Error");
            context_.aborted = true;
            Fail(image_.LastErrorText());
            return GoTo(PdaState::ERROR_STATE);
        }
        Trace(Format("\n\nFile Name : %s", Printable(imagePath).c_str()));
        if (!panel_)
            out_.StatusBar(
                Format("Transferring [ %s ] Image Data to RAM.....", displayName_.c_str()));
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
    out_.PanelEventList("Phone File Load Start~!!");
    std::string error;
    Notes notes;
    const std::vector<PhoneGroupFile> files =
        pda::ReadPhoneGroup(*listLines_, firstName, listDirectory_, error, notes);
    for (const Note& note : notes)
        Trace(note.text);
    for (const PhoneGroupFile& file : files) {
        if (file.role != phone::PhoneFileRole::None)
            context_.SetPhoneFile(file.role, {file.name, file.path});
        out_.PanelEventList(PhoneEventText(file.role));
    }
    if (!error.empty()) {
        // A phone file that cannot be named in full would hand the phone
        // download a wrong path; stop here instead.
        Fail(settings_.downloadPath + ": " + error);
        return GoTo(PdaState::ERROR_STATE);
    }
    context_.m_DownSelect = ONLY_PDA_DOWN | ONLY_PHONE_DOWN;
    context_.g_AllDownLoad = false;
    XIPWriteComplete = true;
    GoTo(PdaState::ENDOFTRANSFER_STATE);
}

void PdaRun::ImageHeader() {
    bytesDone_ = 0;
    ++imagesStarted_;
    PdaProgressEvent started;
    started.kind = PdaProgressEvent::Kind::ImageStarted;
    started.state = state_;
    started.imageNumber = imagesStarted_;
    started.image = displayName_;
    out_.Progress(started);

    if (!panel_) {
        Trace("\n\nIMAGEHEADER_STATE");
    } else if (listRun_) {
        ++imageCounter_;
        std::string counter;
        if (const int total = ListCounterTotal(listKind_); total != 0)
            counter = Format("%d / %d", imageCounter_, total);
        else
            out_.MessageBox("Invalid File Type.", "");
        out_.PanelCounter(counter);
    }

    const std::optional<pda::ImageHeader> header = image_.ReadHeader();
    if (!header) {
        Trace("\nError Reading Signature!\r\n");
        Fail(image_.LastErrorText());
        image_.Close();
        return GoTo(PdaState::ERROR_STATE);
    }
    if (!panel_) {
        out_.DebugMessage(Format("\nStart Address =[%08X]\n", header->startAddress));
        out_.DebugMessage(Format("\nImage Length=[%08d]\n", static_cast<int>(header->imageLength)));
    }
    Trace("\nBefore ImageHeader Transfer \r\n");
    if (!Send(packets_.EraseRam(*header)))
        return;
    Trace("\nAfter ImageHeader Transfer\r\n");
    if (!Await(PdaCommand::ERASE_RAM_CMD))
        return;
    if (!panel_) {
        out_.CreateDownloadProgress(0, 100);
        if (!listRun_)
            out_.StatusBar(Format("Transferring [ %s ] Image Data to RAM.....",
                                  FileNamePart(settings_.downloadPath).c_str()));
    } else {
        out_.PanelProgressRange(0, 100);
        out_.PanelStatus("Downloading...");
        out_.PanelEnableClose();
    }
    GoTo(PdaState::RECORDHEADER_STATE);
}

void PdaRun::RecordHeader() {
    Trace("\n\nRECORDHEADER_STATE");
    offsetInRecord_ = 0;
    record_ = {};
    batch_ = {};
    const std::optional<pda::RecordHeader> header = image_.ReadRecordHeader();
    if (!header) {
        Trace("\nError Reading Record header!");
        Fail(image_.LastErrorText());
        image_.Close();
        return GoTo(PdaState::ERROR_STATE);
    }
    record_ = *header;
    if (record_.IsEndRecord()) {
        launchAddress_ = record_.LaunchAddress();
        if (panel_)
            out_.PanelProgress(0);
        else
            out_.SetDownloadProgress(0);
        if (listRun_)
            image_.Close();
        return GoTo(PdaState::ENDOFTRANSFER_STATE);
    }
    bytesDone_ += kRecordHeaderSize;
    GoTo(PdaState::RECORDDATA_STATE);
}

void PdaRun::RecordData() {
    const int percentBefore = ProgressPercent(bytesDone_, fileSize_);
    if (offsetInRecord_ == 0) {
        if (panel_)
            out_.PanelPercent(Format("%d%%", percentBefore));
        else
            Trace(Format("\n\nRECORDDATA_STATE\t\t %d%%", percentBefore));
    }
    if (offsetInRecord_ >= record_.length) {
        if (Send(packets_.Single(PdaCommand::LAST_DATA_IN_RECORD)) &&
            Await(PdaCommand::LAST_DATA_IN_RECORD))
            GoTo(PdaState::RECORDHEADER_STATE);
        return;
    }

    const std::size_t n = ChunkSize(record_.length, offsetInRecord_);
    if (!NextChunkRead()) {
        Trace("\nError Reading Record data!");
        Fail(image_.LastErrorText());
        image_.Close();
        return GoTo(PdaState::ERROR_STATE);
    }
    if (!Send(
            packets_.RecordData(batch_.next++, ChunkAddress(record_.address, offsetInRecord_), n)))
        return;
    bytesDone_ += n;
    const int percentAfter = ProgressPercent(bytesDone_, fileSize_);

    if (pipe_.StopRequested()) {
        if (panel_)
            out_.PanelProgress(0);
        else
            out_.CloseDownloadProgress();
        return GoTo(PdaState::ERROR_STATE);
    }
    if (percentAfter != percentBefore) {
        if (panel_) {
            out_.PanelPercent(Format("%d%%", percentAfter));
            out_.PanelProgress(percentAfter);
        } else {
            out_.SetDownloadProgress(percentAfter);
            Trace(Format("\n\nRECORDDATA_STATE\t\t %d%%", percentAfter));
        }
        PdaProgressEvent progress;
        progress.kind = PdaProgressEvent::Kind::Percent;
        progress.state = state_;
        progress.percent = percentAfter;
        progress.imageNumber = imagesStarted_;
        progress.image = displayName_;
        out_.Progress(progress);
    }
    if (percentBefore >= 99 && flash_) {
        if (panel_)
            context_.flashWriting = true;
        else if (listRun_)
            out_.StatusBar(Format("Writing [ %s ] Image Data to RAM.....", displayName_.c_str()));
        else
            out_.StatusBar(Format("Writing [ %s ] Image to FLASH.....",
                                  FileNamePart(settings_.downloadPath).c_str()));
    }
    offsetInRecord_ += static_cast<std::uint32_t>(kMaxChunk);
}

void PdaRun::EndOfTransfer() {
    if (!panel_) {
        Trace(Format("\n\n m_pMainUsbView->CloseDownloadProgress() : XIPWriteComplete = %d \n",
                     XIPWriteComplete ? 1 : 0));
        out_.CloseDownloadProgress();
    }
    if (XIPWriteComplete) {
        if (!context_.g_AllDownLoad) {
            Trace("\n\n if(XIPWriteComplete) \n");
            return GoTo(PdaState::PHONEDOWN_STATE);
        }
        if (SendFinal(PdaCommand::DOWNLOAD_DONE_CMD)) {
            pipe_.SetCompleted(true);
            return GoTo(PdaState::EXIT_STATE);
        }
    }

    Trace("\n\nENDOFTRANSFER_STATE");
    const std::span<const std::uint8_t> lastData = packets_.LastDataInImage(launchAddress_);
    Trace(Format("\nLaunch Address = %X", launchAddress_));
    if (!Send(lastData))
        return;
    if (panel_)
        out_.PanelProgress(0);
    else
        out_.ShowWaitDialog();
    if (!Await(PdaCommand::LAST_DATA_IN_IMAGE))
        return;
    image_.Close();

    if (flash_) {
        if (!panel_) {
            Trace(kStartWritingToFlash);
        } else {
            out_.PanelStatus("Waiting for Installing...");
            out_.PanelPercent("");
        }
        if (!Send(packets_.Single(PdaCommand::WRITE_FLSH_CMD)))
            return;
        const FlashWait wait = AwaitFlashWritten(replies_);
        if (wait.outcome == FlashOutcome::Stopped) {
            Trace("\nAborted Download!");
            Fail(wait.error);
            return GoTo(PdaState::EXIT_STATE);
        }
        if (wait.outcome == FlashOutcome::Failed) {
            Fail(wait.error);
            return GoTo(PdaState::ERROR_STATE);
        }
        if (panel_)
            context_.flashWriting = false;
        else
            out_.CloseWaitDialog();
    }

    if (listRun_)
        return GoTo(PdaState::SIGNATURE_STATE);
    if (!context_.g_AllDownLoad) {
        Trace("\n if(g_AllDownLoad != TRUE) \n");
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
    if (panel_)
        out_.PanelEventList("case PHONEDOWN_STATE:");
    else
        Trace("\n PHONEDOWN_STATE: \n");
    if (!SendFinal(PdaCommand::PHONE_DOWN_CMD)) {
        // Tried again at the next visit, until a stop request ends the run;
        // the pause keeps a vanished device from spinning the thread.
        return Pause();
    }
    Trace("\n if(dwWritten) \n");
    error_.clear();
    context_.g_AllDownLoad = true;
    if (panel_)
        context_.m_DownSelect = ONLY_PHONE_DOWN;
    pipe_.SetCompleted(true);
    GoTo(PdaState::EXIT_STATE);
}

void PdaRun::Error() {
    if (panel_) {
        out_.PanelProgress(0);
        out_.PanelStatus("Aborted Download!");
        out_.PanelPercent("Reconnect Device to Retry!");
        out_.PanelEventList("case ERROR_STATE:");
    } else {
        out_.SetDownloadProgress(0);
        Trace("\n\nERROR_STATE");
    }
    context_.aborted = true;
    GoTo(PdaState::EXIT_STATE);
    Exit();
}

void PdaRun::Exit() {
    exitReported_ = true;
    if (panel_) {
        out_.PanelProgress(0);
        out_.PanelEventList("case EXIT_STATE:");
    } else if (context_.aborted) {
        Trace("\n\nEXIT_STATE\n\n Download to Device Aborted!");
        out_.StatusBar(kDownloadAbortedStatus);
    } else {
        Trace("\n\nEXIT_STATE\n\n Downloaded to Device Successfully!");
        out_.StatusBar("Launching with the New Image....");
    }
    pipe_.RequestStop(StopCause::EndOfRun);
}

bool PdaRun::OpenImage(const std::string& path) {
    const bool opened = image_.Open(path);
    fileSize_ = opened ? image_.FileSize() : 0;
    return opened;
}

bool PdaRun::NextChunkRead() {
    if (batch_.next < batch_.read)
        return true;
    if (batch_.read < batch_.wanted) // the last batch fell short
        return false;
    std::array<std::span<std::uint8_t>, kRecordDataBatch> places;
    std::size_t count = 0;
    for (std::uint64_t offset = offsetInRecord_; count < places.size() && offset < record_.length;
         offset += kMaxChunk, ++count)
        places[count] = packets_.RecordDataSpace(
            count, ChunkSize(record_.length, static_cast<std::uint32_t>(offset)));
    batch_ = {0, image_.ReadData(std::span(places.data(), count)), count};
    return batch_.read > 0;
}

bool PdaRun::Await(PdaCommand command) {
    const ReplyTexts texts = ReplyTextsFor(command);
    const ReplyWait wait = AwaitReply(replies_, command);
    if (wait.outcome == ReplyOutcome::Received) {
        if (texts.received != nullptr)
            Trace(texts.received);
        return true;
    }
    if (wait.outcome == ReplyOutcome::Nak)
        Trace(texts.nak);
    Trace(texts.notRead);
    Fail(wait.error);
    GoTo(wait.outcome == ReplyOutcome::Stopped ? PdaState::EXIT_STATE : PdaState::ERROR_STATE);
    return false;
}

bool PdaRun::Send(std::span<const std::uint8_t> packet) {
    step_ = CommandName(packet[0]);
    if (pipe_.WritePipe(packet))
        return true;
    Trace(kFailedInTransmitting);
    Fail(CommandName(packet[0]) + ": the packet could not be written");
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
    PdaProgressEvent entered;
    entered.kind = PdaProgressEvent::Kind::StateEntered;
    entered.state = state;
    entered.imageNumber = imagesStarted_;
    entered.image = displayName_;
    out_.Progress(entered);
}

void PdaRun::Fail(std::string error) {
    if (error_.empty())
        error_ = std::move(error);
}

void PdaRun::Trace(std::string_view text) {
    if (!panel_)
        out_.DeviceStateTrace(text);
}

void PdaRun::Pause() {
    replies_.Pause(kRetryPause);
}

} // namespace

const char* VerdictName(PdaVerdict verdict) {
    switch (verdict) {
    case PdaVerdict::Passed:
        return "passed";
    case PdaVerdict::Failed:
        return "failed";
    case PdaVerdict::Stopped:
        return "stopped";
    case PdaVerdict::DeviceRemoved:
        return "device-removed";
    }
    return "?";
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

PdaRunOutcome RunPdaDownload(CUsbPipe& pipe, PdaRunContext& context,
                             PdaPresentation& presentation) {
    return PdaRun(pipe, context, presentation).Run();
}

} // namespace marlow::pda
