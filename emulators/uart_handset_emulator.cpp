#include "emulators/uart_handset_emulator.h"

#include "common/little_endian.h"
#include "emulators/uart_line_pacer.h"
#include "uartloader/request_codes.h"

#include <algorithm>

namespace marlow::emulators {

namespace {

using namespace marlow::uartloader;
using Kind = UartScriptStep::Kind;

constexpr std::size_t kBulkPiece = 4096;
constexpr std::uint32_t kRefused = 1;
constexpr std::size_t kArrowLeadBytes = 3;

class Session {
public:
    Session(const UartEmulatorOptions& options, UartDeviceLink& link)
        : options_(options), link_(link), pacer_(options.paceBaudRate) {}

    UartEmulatorReport Run() {
        if (Boot())
            PlayScript();
        ListenUntilHostCloses();
        return std::move(report_);
    }

private:
    bool Boot() {
        const LinkStatus opened = link_.WaitForHostOpen(options_.openTimeout);
        if (opened == LinkStatus::Stopped)
            return End("stopped before the tool opened the port");
        if (opened != LinkStatus::Ok)
            return End(std::string("the tool never opened the port: ") +
                       DescribeLinkStatus(opened));
        report_.hostOpened = true;
        if (options_.bootRomSilent)
            return End("the boot ROM stayed silent");

        if (!Send(BuildAsicIdBlock(options_.asicPosition), "ASIC ID"))
            return false;
        std::uint32_t indication = 0;
        if (!ReceiveWord(indication, "boot indication"))
            return false;
        report_.bootIndication = indication;
        if (indication != BOOT_INDICATION)
            return Problem("boot indication 0x" + Hex8(indication) + " instead of 0x" +
                           Hex8(BOOT_INDICATION));

        std::uint32_t size = 0;
        std::vector<std::uint8_t> image;
        if (!ReceiveWord(size, "2nd boot size") || !ReceiveBulk(size, &image, "2nd boot image"))
            return false;
        report_.secondStage = std::move(image);
        return true;
    }

    void PlayScript() {
        for (const UartScriptStep& step : options_.script) {
            if (!Play(step))
                return;
            ++report_.stepsPlayed;
            if (step.kind == Kind::Done) {
                report_.doneSent = true;
                End("done message sent");
                return;
            }
        }
        End("script played to its end without a done message");
    }

    bool Play(const UartScriptStep& step) {
        switch (step.kind) {
        case Kind::ExtMemInit:
            return TakeExtMemInit();
        case Kind::Flasher:
            return TakeFlasher();
        case Kind::Text:
            return SendMessage(REQ_TEXT_MESSAGE, step.text);
        case Kind::Arrow:
            return SendMessage(REQ_ARROW_MESSAGE, std::string(kArrowLeadBytes, '\0') + step.text);
        case Kind::Done:
            return SendMessage(REQ_DONE_MESSAGE, step.text);
        case Kind::Ping:
            return Ping();
        case Kind::Flash:
            return TakePartition(step.code);
        case Kind::RawCode:
            return SendWord(step.code, "request code");
        case Kind::LongText:
            SendWord(REQ_TEXT_MESSAGE, "request code") && SendWord(step.length, "text length");
            return End("sent a message length of " + std::to_string(step.length));
        case Kind::Silence:
            return End("fell silent");
        case Kind::Vanish:
            link_.Hangup();
            return End("vanished from the line");
        }
        return false;
    }

    bool TakeExtMemInit() {
        std::uint32_t size = 0;
        std::vector<std::uint8_t> image;
        if (!SendWord(REQ_EXT_MEM_INIT, "request code") || !ReceiveWord(size, "ExtMemInit size") ||
            !ReceiveBulk(size, &image, "ExtMemInit image"))
            return false;
        report_.extMemInit = std::move(image);
        return true;
    }

    bool TakeFlasher() {
        UartFlasherImage flasher;
        if (!SendWord(REQ_FLASHER, "request code") ||
            !ReceiveWord(flasher.size, "boot flasher size"))
            return false;
        const auto echo = static_cast<std::uint32_t>(flasher.size + options_.faults.sizeEchoDelta);
        if (!SendWord(echo, "size echo"))
            return false;
        if (echo != flasher.size)
            return End("echoed the boot flasher size wrongly");
        if (!ReceiveWord(flasher.entryPoint, "boot flasher entry point") ||
            !ReceiveWord(flasher.executionAddress, "boot flasher execution address") ||
            !ReceiveBulk(flasher.size, &flasher.data, "boot flasher image"))
            return false;
        report_.flasher = std::move(flasher);
        return true;
    }

    bool SendMessage(std::uint32_t code, const std::string& text) {
        std::vector<std::uint8_t> payload(text.begin(), text.end());
        payload.push_back(0);
        return SendWord(code, "request code") &&
               SendWord(static_cast<std::uint32_t>(payload.size()), "message length") &&
               Send(payload, "message text");
    }

    bool Ping() {
        std::array<std::uint8_t, 1> reply{};
        if (!SendWord(REQ_PING, "request code") || !Receive(reply, "ping reply"))
            return false;
        report_.pingReplies.push_back(reply[0]);
        if (reply[0] != kPingReply)
            return Problem("ping answered with 0x" + Hex8(reply[0]).substr(6));
        return true;
    }

    bool TakePartition(std::uint32_t code) {
        const std::string name = RequestName(code);
        std::array<std::uint8_t, kPartitionHeaderSize> raw{};
        if (!SendWord(code, "request code") || !SendWord(options_.flashWord, "flash word") ||
            !Receive(raw, name + " header"))
            return false;
        UartPartitionImage& image = report_.partitions.emplace_back();
        image.requestCode = code;
        image.header = ParsePartitionHeader(raw);
        if (!image.header.crcValid) {
            SendWord(kRefused, "header acknowledgement");
            return Problem(name + " header CRC 0x" + Hex8(image.header.crc) + " is wrong");
        }
        const UartEmulatorFaults& faults = options_.faults;
        if (faults.omitHeaderAck)
            return End("left the " + name + " header unacknowledged");
        const std::uint32_t headerAck = faults.headerAck.value_or(kAckAccepted);
        if (!SendWord(headerAck, "header acknowledgement"))
            return false;
        if (headerAck != kAckAccepted)
            return End("refused the " + name + " header with " + std::to_string(headerAck));
        return TakeFrames(image, name);
    }

    bool TakeFrames(UartPartitionImage& image, const std::string& name) {
        constexpr std::size_t kChunk = 2048;
        std::vector<std::uint8_t> frame(kChunk + kWordSize);
        const UartEmulatorFaults& faults = options_.faults;
        while (image.bytes < image.header.size) {
            if (!Receive(frame, name + " frame"))
                return false;
            const std::size_t frameIndex = framesSeen_++;
            ++image.frames;
            if (!ParityFrameIsValid(frame)) {
                SendWord(kRefused, "frame acknowledgement");
                return Problem(name + " frame " + std::to_string(image.frames) + " CRC is wrong");
            }
            const auto payload = static_cast<std::size_t>(
                std::min<std::uint64_t>(kChunk, image.header.size - image.bytes));
            if (!std::all_of(frame.begin() + static_cast<std::ptrdiff_t>(payload),
                             frame.begin() + static_cast<std::ptrdiff_t>(kChunk),
                             [](std::uint8_t b) { return b == 0xFF; }))
                Problem(name + " frame " + std::to_string(image.frames) +
                        " is not filled with 0xFF after its data");
            if (options_.keepData)
                image.data.insert(image.data.end(), frame.begin(),
                                  frame.begin() + static_cast<std::ptrdiff_t>(payload));
            image.bytes += payload;

            const bool faultHere = frameIndex == faults.faultFrame;
            if (faultHere && faults.omitFrameAck)
                return End("left frame " + std::to_string(frameIndex) + " unacknowledged");
            const std::uint32_t ack =
                faultHere && faults.frameAck ? *faults.frameAck : kAckAccepted;
            if (!SendWord(ack, "frame acknowledgement"))
                return false;
            if (ack != kAckAccepted)
                return End("refused frame " + std::to_string(frameIndex) + " with " +
                           std::to_string(ack));
        }
        image.complete = true;
        return true;
    }

    // What the tool sends once the conversation is over should be nothing.
    void ListenUntilHostCloses() {
        if (!report_.hostOpened)
            return;
        std::array<std::uint8_t, 1> stray{};
        while (link_.Receive(stray, options_.replyTimeout) == LinkStatus::Ok)
            ++report_.bytesAfterEnd;
    }

    // I/O with pacing and the end reason ------------------------------------
    bool Send(std::span<const std::uint8_t> bytes, const std::string& what) {
        pacer_.BeforeSend(bytes.size());
        return Check(link_.Send(bytes), what);
    }
    bool SendWord(std::uint32_t value, const std::string& what) {
        return Send(WordBytes(value), what);
    }
    bool Receive(std::span<std::uint8_t> into, const std::string& what) {
        const LinkStatus status = link_.Receive(into, options_.replyTimeout);
        if (status == LinkStatus::Ok)
            pacer_.AfterReceive(into.size(), link_.LastArrival());
        return Check(status, what);
    }
    bool ReceiveWord(std::uint32_t& value, const std::string& what) {
        Word bytes{};
        if (!Receive(bytes, what))
            return false;
        value = LoadLe32(bytes);
        return true;
    }
    bool ReceiveBulk(std::uint32_t size, std::vector<std::uint8_t>* keep, const std::string& what) {
        std::vector<std::uint8_t> piece;
        for (std::uint64_t got = 0; got < size; got += piece.size()) {
            piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kBulkPiece, size - got)));
            if (!Receive(piece, what))
                return false;
            if (keep != nullptr && options_.keepData)
                keep->insert(keep->end(), piece.begin(), piece.end());
        }
        return true;
    }

    bool Check(LinkStatus status, const std::string& what) {
        if (status == LinkStatus::Ok)
            return true;
        if (status == LinkStatus::Gone)
            return End("the tool closed the port at " + what);
        if (status == LinkStatus::Stopped)
            return End("stopped at " + what);
        return End(what + ": " + DescribeLinkStatus(status));
    }
    bool End(std::string reason) {
        if (report_.end.empty())
            report_.end = std::move(reason);
        return false;
    }
    bool Problem(std::string text) {
        report_.problems.push_back(text);
        return End("stopped at a protocol violation: " + text);
    }

    const UartEmulatorOptions& options_;
    UartDeviceLink& link_;
    UartLinePacer pacer_;
    UartEmulatorReport report_;
    std::size_t framesSeen_ = 0;
};

} // namespace

UartEmulatorReport UartHandsetEmulator::Run(UartDeviceLink& link) const {
    return Session(options_, link).Run();
}

std::string SummariseUartReport(const UartEmulatorReport& report) {
    std::string text;
    auto line = [&](const std::string& s) { text += s + "\n"; };
    if (report.bootIndication)
        line("boot indication: 0x" + Hex8(*report.bootIndication));
    if (report.secondStage)
        line("2nd boot: " + std::to_string(report.secondStage->size()) + " bytes");
    if (report.extMemInit)
        line("ExtMemInit: " + std::to_string(report.extMemInit->size()) + " bytes");
    if (report.flasher)
        line("boot flasher: " + std::to_string(report.flasher->size) + " bytes, entry point 0x" +
             Hex8(report.flasher->entryPoint) + ", execution address 0x" +
             Hex8(report.flasher->executionAddress));
    for (const UartPartitionImage& p : report.partitions)
        line(RequestName(p.requestCode) + ": " + std::to_string(p.bytes) + " of " +
             std::to_string(p.header.size) + " bytes in " + std::to_string(p.frames) +
             " frames, entry point 0x" + Hex8(p.header.entryPoint) + ", ext. address 0x" +
             Hex8(p.header.extAddress) + (p.complete ? "" : " (incomplete)"));
    if (!report.pingReplies.empty())
        line("pings answered: " + std::to_string(report.pingReplies.size()));
    for (const std::string& problem : report.problems)
        line("PROBLEM: " + problem);
    if (report.bytesAfterEnd > 0)
        line("bytes after the end: " + std::to_string(report.bytesAfterEnd));
    line("end: " + report.end);
    line(report.Passed() ? "result: passed" : "result: failed");
    return text;
}

} // namespace marlow::emulators
