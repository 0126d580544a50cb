#include "report/report_data.h"

#include <QDateTime>

#include <algorithm>
#include <map>

namespace marlow::report {

namespace {

// Runs that span at most this long are shown by the hour.
constexpr std::int64_t kHourlySpanMs = 48LL * 3'600'000;

// The labels Yield gives every hour (day) from `firstMs` to `lastMs`, with
// the rows it found in their places and empty rows in between.
std::vector<records::YieldRow> Timeline(const std::vector<records::YieldRow>& found,
                                        std::int64_t firstMs, std::int64_t lastMs, TimeStep step,
                                        const QTimeZone& zone) {
    std::map<std::string, records::YieldRow> byLabel;
    for (const records::YieldRow& row : found)
        byLabel.emplace(row.group, row);
    const QString format =
        step == TimeStep::Hour ? QStringLiteral("yyyy-MM-dd HH:00") : QStringLiteral("yyyy-MM-dd");
    const QDateTime last = QDateTime::fromMSecsSinceEpoch(lastMs, zone);
    QDateTime at = QDateTime::fromMSecsSinceEpoch(firstMs, zone);
    at = step == TimeStep::Hour ? QDateTime(at.date(), QTime(at.time().hour(), 0), zone)
                                : QDateTime(at.date(), QTime(0, 0), zone);
    std::vector<records::YieldRow> line;
    for (; at.isValid() && at <= last;
         at = step == TimeStep::Hour ? at.addSecs(3600) : at.addDays(1)) {
        const std::string label = at.toString(format).toStdString();
        if (!line.empty() && line.back().group == label)
            continue; // the hour a clock change repeats
        const auto row = byLabel.find(label);
        line.push_back(row != byLabel.end() ? row->second : records::YieldRow{.group = label});
        if (row != byLabel.end())
            byLabel.erase(row);
    }
    // Anything outside the span (none, as a unit counts at its first run).
    for (auto& [label, row] : byLabel)
        line.push_back(row);
    return line;
}

} // namespace

Result<ReportData> GatherReport(const records::SqlSession& session,
                                const records::RunFilter& filter, const QTimeZone& zone) {
    ReportData data;
    data.filter = filter;
    data.source = session.SqlDialect() == records::Dialect::Sqlite
                      ? "the run store " + session.Place()
                      : session.Place();
    Result<std::vector<records::StationSpan>> stations = StationSpans(session, filter);
    if (!stations)
        return Failure{stations.Error()};
    data.stations = std::move(*stations);
    if (data.stations.empty())
        return data;
    std::int64_t first = data.stations.front().firstMs;
    std::int64_t last = data.stations.front().lastMs;
    for (const records::StationSpan& span : data.stations) {
        first = std::min(first, span.firstMs);
        last = std::max(last, span.lastMs);
    }
    data.timeStep = last - first <= kHourlySpanMs ? TimeStep::Hour : TimeStep::Day;

    Result<std::vector<records::YieldRow>> bySlot =
        Yield(session, filter, records::YieldBy::Slot, zone);
    Result<std::vector<records::YieldRow>> byTime = Yield(
        session, filter,
        data.timeStep == TimeStep::Hour ? records::YieldBy::Hour : records::YieldBy::Day, zone);
    Result<std::vector<records::StepTime>> steps = StepTimes(session, filter);
    Result<std::vector<records::FailureCount>> counts = FailureCounts(session, filter);
    Result<std::vector<records::RunRecord>> latest =
        LatestFailures(session, filter, kLatestFailures);
    for (const std::string* error :
         {&bySlot.Error(), &byTime.Error(), &steps.Error(), &counts.Error(), &latest.Error()})
        if (!error->empty())
            return Failure{*error};
    data.bySlot = std::move(*bySlot);
    data.byTime = Timeline(*byTime, first, last, data.timeStep, zone);
    data.stepTimes = std::move(*steps);
    data.failureCounts = std::move(*counts);
    data.latestFailures = std::move(*latest);
    return data;
}

} // namespace marlow::report
