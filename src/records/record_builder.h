#pragma once
// Turns a run's typed events into its record: steps with their times, bytes
// and retries, the event stream as JSON lines, and the verdict with its error
// class. A Total run feeds both halves into one builder, in order.
//
// The engines' events already carry every fact; what is decided here is only
// where a step begins and ends, and which event tells why a run failed (the
// last such clue before a failed end wins).

#include "pda/pda_events.h"
#include "phone/phone_events.h"
#include "records/record.h"
#include "uartloader/loader_events.h"

#include <array>
#include <future>
#include <optional>

namespace marlow::records {

class RunRecorder;

class RecordBuilder {
public:
    explicit RecordBuilder(RunRecorder& recorder) : recorder_(recorder) {}

    void Follow(const pda::PdaEvent& event);
    void Follow(const phone::PhoneRunEvent& event);
    void Follow(const uartloader::LoaderEvent& event);

    // A run of both halves: the whole run's end, after the halves' own. Its
    // verdict and reason are the record's; the half that spoke last and the
    // clues tell which half failed it and why.
    // `half`: the half that ended the run, where the halves' events did not say.
    void RunEnded(const RunFinished& whole, Half half = Half::None);

    // The end the events told so far (the last RunFinished), if any.
    const std::optional<RunEnding>& Ending() const { return ending_; }

    // Ends the steps still open and finishes the record: with `ending` where
    // the front end knows better (its own time-out), else with what the
    // events told; a run whose events never told an end is recorded as
    // failed for an internal reason.
    std::shared_future<Status> Finish(std::optional<RunEnding> ending = std::nullopt,
                                      std::function<void(const Status&)> durable = {});

private:
    struct Steps;
    friend struct Steps;

    void Clue(ErrorClass errorClass) { clue_ = errorClass; }
    void StartStep(const char* kind, std::string name);
    void EndStep(const char* outcome);
    void Retried() { ++retries_; }
    void ImageLength(std::int64_t length) { stepLength_ = length; }
    void Percent(int percent) { stepPercent_ = percent; }
    void Finished(const RunFinished& finished, Half half);
    bool StepOpen(const char* kind) const;
    void Line(std::string json, Half half);

    RunRecorder& recorder_;
    std::optional<int> step_;
    const char* stepKind_ = "";
    std::optional<std::int64_t> stepLength_;
    int stepPercent_ = 0;
    int retries_ = 0;
    std::optional<ErrorClass> clue_;
    Half lastHalf_ = Half::None;
    std::optional<RunEnding> ending_;
    std::array<int, uartloader::kProgressBarCount> lastTen_{};
};

} // namespace marlow::records
