#pragma once
// What is asked of a run store: records by filter, one record whole, its
// event stream, the yield, and an integrity check. Plain data out, no
// printing: marlow-cli prints it, a window shows it, and the same queries
// run against a central database through its own session.

#include "common/result.h"
#include "records/record.h"
#include "records/sql_session.h"

#include <QTimeZone>

#include <optional>
#include <string>
#include <vector>

namespace marlow::records {

struct RunFilter {
    std::optional<std::int64_t> sinceMs{}; // started at or after
    std::optional<std::int64_t> untilMs{}; // started before
    std::optional<RecordVerdict> verdict{};
    std::string slot{};
    std::string station{};
    std::string file{}; // a path, or a SHA-256 in hex, of any of its inputs
    std::string serial{};
};

enum class Detail { Inputs, Steps };

// The records that match, oldest first, each with its inputs (and with
// `Steps` its steps).
Result<std::vector<RunRecord>> FindRuns(const SqlSession& session, const RunFilter& filter,
                                        Detail detail = Detail::Inputs);

// One record whole: by its id, or by the start of its id when only one
// record's id starts so.
Result<RunRecord> LoadRun(const SqlSession& session, const std::string& idOrPrefix);

// The run's event stream, one JSON object a line, in order.
Result<std::vector<std::string>> LoadEvents(const SqlSession& session, const std::string& runId);

// First-pass yield and retests. A handset is known by its serial number
// (on any station); without one, by its station, USB path and slot, where a
// handset is taken to stay until it passes (the next one on that port is
// another). Its first run decides first pass; one that did not pass first
// and passed later is a retest. Each handset counts in the group of its
// first run; by slot, a group is one station's slot, as the same port name
// on two stations is two cables. Runs still `running` are left out.
enum class YieldBy { Slot, Digest, Hour, Day };
struct YieldRow {
    std::string group{};   // the slot, the first input's SHA-256, "2024-05-01 13:00", "2024-05-01"
    std::string station{}; // by slot: the slot's station
    int units = 0;
    int firstPass = 0;
    int retested = 0;
    int runs = 0;
};
Result<std::vector<YieldRow>> Yield(const SqlSession& session, const RunFilter& filter, YieldBy by,
                                    const QTimeZone& zone = QTimeZone::systemTimeZone());
// The rows together, as the group "all".
YieldRow YieldTotal(const std::vector<YieldRow>& rows);

// The matching runs of each station: how many, and the time they cover
// (the first start to the last end, or start of a run still going).
struct StationSpan {
    std::string station{};
    std::int64_t runs = 0;
    std::int64_t firstMs = 0;
    std::int64_t lastMs = 0;
};
Result<std::vector<StationSpan>> StationSpans(const SqlSession& session, const RunFilter& filter);

// How long each passed run spent in each kind of step (the sum of its
// steps of that kind), by station, slot and kind. Only passed runs: a run
// cut short would show a part of the work as a fast one, and what failed
// is counted with the failures.
struct StepTime {
    std::string station{};
    std::string slot{};
    std::string kind{};
    std::string runId{};
    std::int64_t ms = 0;
};
Result<std::vector<StepTime>> StepTimes(const SqlSession& session, const RunFilter& filter);

// The runs that ended without passing (failed, stopped, removed,
// interrupted), counted by reason, verdict, class, half and slot, most
// first; and the latest `count` of them whole, newest first.
struct FailureCount {
    std::string reason{};
    RecordVerdict verdict = RecordVerdict::Failed;
    ErrorClass errorClass = ErrorClass::None;
    Half half = Half::None;
    std::string station{};
    std::string slot{};
    int runs = 0;
    std::int64_t lastMs = 0; // the latest start
};
Result<std::vector<FailureCount>> FailureCounts(const SqlSession& session, const RunFilter& filter);
Result<std::vector<RunRecord>> LatestFailures(const SqlSession& session, const RunFilter& filter,
                                              int count);

struct StoreCheck {
    int schemaVersion = 0;
    std::int64_t runs = 0;
    std::int64_t running = 0;
    std::int64_t interrupted = 0;
    std::vector<std::string> problems{}; // empty when the store is sound
};
Result<StoreCheck> CheckStore(const SqlSession& session);

} // namespace marlow::records
