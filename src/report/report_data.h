#pragma once
// What a run report shows, read from a run store or the central database
// in one go: the stations and the time they cover, the yield by slot and
// over time, the step times of passed runs and the runs that did not pass.

#include "common/result.h"
#include "records/run_queries.h"
#include "records/sql_session.h"

#include <QTimeZone>

#include <string>
#include <vector>

namespace marlow::report {

// A span of a few days reads best by the hour, a longer one by the day.
enum class TimeStep { Hour, Day };

struct ReportData {
    std::string source{}; // "the run store PATH", "the central database DSN"
    records::RunFilter filter{};
    std::vector<records::StationSpan> stations{};
    std::vector<records::YieldRow> bySlot{};
    TimeStep timeStep = TimeStep::Hour;
    // Every hour (or day) from the first run to the last, those without a
    // unit too, so that a quiet hour shows as a gap.
    std::vector<records::YieldRow> byTime{};
    std::vector<records::StepTime> stepTimes{};
    std::vector<records::FailureCount> failureCounts{};
    std::vector<records::RunRecord> latestFailures{};
};

// How many of the latest runs that did not pass the report lists one by one.
constexpr int kLatestFailures = 20;

// Reads everything the report shows; hours and days are those of `zone`.
Result<ReportData> GatherReport(const records::SqlSession& session,
                                const records::RunFilter& filter, const QTimeZone& zone);

} // namespace marlow::report
