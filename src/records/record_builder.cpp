#include "records/record_builder.h"

#include "common/visit_overloads.h"
#include "records/event_json.h"
#include "records/run_writer.h"
#include "uartloader/loader_event_json.h"

#include <QJsonDocument>

namespace marlow::records {

namespace {

// Why a failed run failed, by the event that showed it: the table of clues.
template <typename Event> constexpr std::optional<ErrorClass> kClue = std::nullopt;
template <> constexpr std::optional<ErrorClass> kClue<pda::ImageOpenFailed> = ErrorClass::Input;
template <> constexpr std::optional<ErrorClass> kClue<pda::ImageReadFailed> = ErrorClass::Input;
template <> constexpr std::optional<ErrorClass> kClue<pda::PacketNotSent> = ErrorClass::Link;
template <> constexpr std::optional<ErrorClass> kClue<pda::ReplyReadFailed> = ErrorClass::Link;
template <> constexpr std::optional<ErrorClass> kClue<phone::PackageUnreadable> = ErrorClass::Input;
template <> constexpr std::optional<ErrorClass> kClue<phone::PortWaitGaveUp> = ErrorClass::TimeOut;
template <> constexpr std::optional<ErrorClass> kClue<phone::PortOpenFailed> = ErrorClass::Link;
template <> constexpr std::optional<ErrorClass> kClue<phone::BootRefused> = ErrorClass::Device;
template <> constexpr std::optional<ErrorClass> kClue<phone::PartRefused> = ErrorClass::Device;
template <> constexpr std::optional<ErrorClass> kClue<phone::PartFailed> = ErrorClass::Device;

// A reply that did not come (NotRead) follows the event that told why: a
// NAK, a read that failed; after unexpected bytes alone it is the device's.
std::optional<ErrorClass> ClueOf(const pda::ReplyAwaited& reply) {
    return reply.result == pda::ReplyResult::Nak ? std::optional(ErrorClass::Device) : std::nullopt;
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

const char* OutcomeOf(RecordVerdict verdict) {
    switch (verdict) {
    case RecordVerdict::Passed:
        return "passed";
    case RecordVerdict::Stopped:
        return "stopped";
    default:
        return "failed";
    }
}

} // namespace

// Where steps begin and end, event by event; every event not named here
// only goes into the stream.
struct RecordBuilder::Steps {
    RecordBuilder& b;

    // PDA: one step per image; PHONE_DOWN_CMD begins the hand-over.
    void operator()(const pda::ImageStarted& e) { b.StartStep("pda-image", e.image); }
    void operator()(const pda::HeaderRead& e) { b.ImageLength(e.imageLength); }
    void operator()(const pda::PercentReached& e) { b.Percent(e.percent); }
    void operator()(const pda::PhoneDownNext&) { b.StartStep("hand-over", "PHONE_DOWN_CMD"); }
    // Phone: the hand-over ends when the port wait begins; the boot (with
    // its re-boots) and each part are steps of their own.
    void operator()(const phone::PortWaitStarted&) { b.StartStep("port-wait", "modem port"); }
    void operator()(const phone::PortFound&) { b.EndStep("passed"); }
    void operator()(const phone::BootStarted&) {
        if (!b.StepOpen("phone-boot"))
            b.StartStep("phone-boot", "boot");
    }
    void operator()(const phone::ReBootStarted&) { b.Retried(); }
    void operator()(const phone::PartStarted& e) { b.StartStep("phone-part", e.file); }
    void operator()(const phone::PartFailed&) { b.EndStep("failed"); }
    void operator()(const phone::PartsDone&) { b.EndStep("passed"); }
    void operator()(const phone::PortWaitGaveUp&) { b.EndStep("failed"); }
    // UART: a step per file the handset asks for. The label's last word,
    // the port let go, is no file: the run's end tells how the step ended.
    void operator()(const uartloader::CurrentFileChanged& e) {
        if (e.text.empty())
            b.EndStep("passed");
        else if (e.text != uartloader::kPortDisconnectedLabel)
            b.StartStep("uart-file", e.text);
    }
    template <typename Other> void operator()(const Other&) {}
};

bool RecordBuilder::StepOpen(const char* kind) const {
    return step_ && std::string_view(stepKind_) == kind;
}

void RecordBuilder::StartStep(const char* kind, std::string name) {
    EndStep("passed");
    step_ = recorder_.StepStarted(kind, std::move(name));
    stepKind_ = kind;
    stepLength_.reset();
    stepPercent_ = 0;
    retries_ = 0;
}

void RecordBuilder::EndStep(const char* outcome) {
    if (!step_)
        return;
    // An image tells its length and how far it got in percent; what it
    // moved is that share of its length.
    std::optional<std::int64_t> bytes;
    if (stepLength_)
        bytes = std::string_view(outcome) == "passed" ? *stepLength_
                                                      : *stepLength_ * stepPercent_ / 100;
    recorder_.StepEnded(*step_, outcome, bytes, retries_);
    step_.reset();
}

void RecordBuilder::Finished(const RunFinished& finished, Half half) {
    RunEnding ending{.verdict = RecordVerdictOf(finished.verdict), .reason = finished.reason};
    switch (finished.verdict) {
    case Verdict::Passed:
        break;
    case Verdict::Failed:
        ending.errorClass = clue_.value_or(ErrorClass::Device);
        ending.half = half;
        break;
    case Verdict::Stopped:
        ending.errorClass = ErrorClass::OperatorStop;
        ending.half = half;
        break;
    case Verdict::DeviceRemoved:
        ending.errorClass = ErrorClass::Removal;
        ending.half = half;
        break;
    }
    // A PDA half that passed with the phone still to come leaves the
    // hand-over open.
    if (!(ending.verdict == RecordVerdict::Passed && StepOpen("hand-over")))
        EndStep(OutcomeOf(ending.verdict));
    ending_ = ending;
    lastHalf_ = half;
}

void RecordBuilder::RunEnded(const RunFinished& whole, Half half) {
    // Told as the halves' ends are, with no half: the whole run's.
    Line(Compact(EventJson(pda::RecordOf(pda::PdaEvent{whole}))), Half::None);
    Finished(whole, lastHalf_ != Half::None ? lastHalf_ : half);
}

void RecordBuilder::Line(std::string json, Half half) {
    // {"at":…,"half":…, then the event's own fields: which half spoke and
    // when, for lines of a Total run whose names the halves share.
    if (json.size() < 2 || json.front() != '{')
        return;
    json.insert(1, "\"at\":" + std::to_string(recorder_.Now()) + ",\"half\":\"" + NameOf(half) +
                       (json.size() > 2 ? "\"," : "\""));
    recorder_.Event(std::move(json));
}

void RecordBuilder::Follow(const pda::PdaEvent& event) {
    // A byte from a device that is alive: thousands of them say nothing.
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return;
    Line(Compact(EventJson(pda::RecordOf(event))), Half::Pda);
    std::visit(Overloads{[this](const pda::ReplyAwaited& e) {
                             if (const auto clue = ClueOf(e))
                                 Clue(*clue);
                         },
                         [this]<typename E>(const E&) {
                             if constexpr (kClue<E>.has_value())
                                 Clue(*kClue<E>);
                         }},
               event);
    std::visit(Steps{*this}, event);
    if (const auto* finished = std::get_if<RunFinished>(&event))
        Finished(*finished, Half::Pda);
}

void RecordBuilder::Follow(const phone::PhoneRunEvent& event) {
    Line(Compact(EventJson(phone::RecordOf(event))), Half::Phone);
    std::visit(
        [this]<typename E>(const E&) {
            if constexpr (kClue<E>.has_value())
                Clue(*kClue<E>);
        },
        event);
    if (std::holds_alternative<phone::PortWaitStarted>(event) && StepOpen("hand-over"))
        EndStep("passed");
    std::visit(Steps{*this}, event);
    if (const auto* finished = std::get_if<RunFinished>(&event))
        Finished(*finished, Half::Phone);
}

void RecordBuilder::Follow(const uartloader::LoaderEvent& event) {
    // A second-stage image sets its bar once per byte: whole tens are kept.
    if (const auto* progress = std::get_if<uartloader::ProgressChanged>(&event)) {
        if (progress->bar < 0 || progress->bar >= uartloader::kProgressBarCount)
            return;
        int& last = lastTen_[static_cast<std::size_t>(progress->bar)];
        if (progress->percent / 10 + 1 == last)
            return;
        last = progress->percent / 10 + 1;
    }
    Line(uartloader::EventToJson(event), Half::Uart);
    std::visit(Steps{*this}, event);
    if (const auto* finished = std::get_if<RunFinished>(&event))
        Finished(*finished, Half::Uart);
}

std::shared_future<Status> RecordBuilder::Finish(std::optional<RunEnding> ending,
                                                 std::function<void(const Status&)> durable) {
    if (!ending)
        ending = ending_;
    if (!ending)
        ending = RunEnding{.verdict = RecordVerdict::Failed,
                           .reason = "the run ended without telling its end",
                           .errorClass = ErrorClass::Internal};
    EndStep(OutcomeOf(ending->verdict));
    return recorder_.Finish(*ending, std::move(durable));
}

} // namespace marlow::records
