#include "records/run_queries.h"

#include "records/record_columns.h"
#include "records/schema.h"

#include <QDateTime>
#include <QSqlRecord>

#include <algorithm>

#include <map>
#include <unordered_map>

namespace marlow::records {

namespace {

std::string Str(const QSqlQuery& query, int column) {
    return query.value(column).toString().toStdString();
}

std::optional<std::int64_t> Number(const QSqlQuery& query, int column) {
    const QVariant value = query.value(column);
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

RunRecord RunOf(const QSqlQuery& q) {
    RunRecord run;
    run.facts = RunFacts{.runId = Str(q, 0),
                         .stationId = Str(q, 1),
                         .slot = Str(q, 2),
                         .frontEnd = Str(q, 3),
                         .operatorName = Str(q, 4),
                         .marlowVersion = Str(q, 5),
                         .kind = Str(q, 6),
                         .handset = {Str(q, 7), Str(q, 8), Str(q, 9)},
                         .startedMs = q.value(10).toLongLong()};
    run.ending = RunEnding{.verdict = VerdictNamed(Str(q, 12)).value_or(RecordVerdict::Failed),
                           .reason = Str(q, 13),
                           .errorClass = ErrorClassNamed(Str(q, 14)),
                           .half = HalfNamed(Str(q, 15)),
                           .endedMs = Number(q, 11)};
    run.writer = WriterIdentity{Str(q, 16), q.value(17).toLongLong(), Str(q, 18)};
    return run;
}

// The filter as a WHERE clause over `runs`, with its values in order.
struct Where {
    QString sql;
    QVariantList values;
};

Where WhereOf(const RunFilter& filter) {
    QStringList terms;
    Where where;
    const auto add = [&](const char* term, const QVariant& value) {
        terms << QString::fromUtf8(term);
        where.values << value;
    };
    if (filter.sinceMs)
        add("started_ms >= ?", static_cast<qlonglong>(*filter.sinceMs));
    if (filter.untilMs)
        add("started_ms < ?", static_cast<qlonglong>(*filter.untilMs));
    if (filter.verdict)
        add("verdict = ?", QString::fromUtf8(NameOf(*filter.verdict)));
    if (!filter.slot.empty())
        add("slot = ?", QString::fromStdString(filter.slot));
    if (!filter.station.empty())
        add("station_id = ?", QString::fromStdString(filter.station));
    if (!filter.serial.empty())
        add("serial_number = ?", QString::fromStdString(filter.serial));
    if (!filter.file.empty()) {
        add("run_id IN (SELECT run_id FROM run_inputs WHERE path = ? OR sha256 = ?)",
            QString::fromStdString(filter.file));
        where.values << QString::fromStdString(filter.file).toLower();
    }
    if (!terms.isEmpty())
        where.sql = QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    return where;
}

// `where` narrowed by one more term.
void And(Where& where, const char* term, const QVariantList& values) {
    where.sql += (where.sql.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) +
                 QString::fromUtf8(term);
    where.values << values;
}

QString VerdictValue(RecordVerdict verdict) {
    return QString::fromUtf8(NameOf(verdict));
}

// The runs that did not pass and are over.
void AndUnpassed(Where& where) {
    And(where, "verdict NOT IN (?, ?)",
        {VerdictValue(RecordVerdict::Passed), VerdictValue(RecordVerdict::Running)});
}

// The rows of `sql`, whose %1 is the WHERE clause, each made a value by `read`.
template <typename Read>
auto Rows(const SqlSession& session, const QString& sql, const Where& where, Read read)
    -> Result<std::vector<decltype(read(std::declval<const QSqlQuery&>()))>> {
    Result<QSqlQuery> q = session.Run(sql.arg(where.sql), where.values);
    if (!q)
        return Failure{q.Error()};
    std::vector<decltype(read(*q))> rows;
    while (q->next())
        rows.push_back(read(*q));
    return rows;
}

// The runs in `where`, in `order`, without their parts.
Result<std::vector<RunRecord>> SelectRuns(const SqlSession& session, const Where& where,
                                          const QString& order) {
    return Rows(session,
                QStringLiteral("SELECT ") + QString::fromUtf8(kRunColumns) +
                    QStringLiteral(" FROM runs%1 ") + order,
                where, RunOf);
}

InputFacts InputOf(const QSqlQuery& q, int from) {
    return InputFacts{.role = Str(q, from),
                      .path = Str(q, from + 1),
                      .size = Number(q, from + 2),
                      .sha256 = Str(q, from + 3),
                      .model = Str(q, from + 4),
                      .version = Str(q, from + 5),
                      .source = Str(q, from + 6)};
}

StepFacts StepOf(const QSqlQuery& q, int from) {
    return StepFacts{.kind = Str(q, from),
                     .name = Str(q, from + 1),
                     .startedMs = q.value(from + 2).toLongLong(),
                     .endedMs = Number(q, from + 3),
                     .bytes = Number(q, from + 4),
                     .retries = q.value(from + 5).toInt(),
                     .outcome = Str(q, from + 6)};
}

// Reads the rows of `table` for the runs in `where`, in run and position
// order, into each run's list by `put`.
template <typename Put>
Status LoadParts(const SqlSession& session, const char* columns, const char* table,
                 const Where& where, std::vector<RunRecord>& runs, Put put) {
    std::unordered_map<std::string, RunRecord*> byId;
    for (RunRecord& run : runs)
        byId.emplace(run.facts.runId, &run);
    Result<QSqlQuery> q =
        session.Run(QStringLiteral("SELECT run_id, %1 FROM %2 WHERE run_id IN "
                                   "(SELECT run_id FROM runs%3) "
                                   "ORDER BY run_id, position")
                        .arg(QString::fromUtf8(columns), QString::fromUtf8(table), where.sql),
                    where.values);
    if (!q)
        return Failure{q.Error()};
    while (q->next())
        if (const auto found = byId.find(Str(*q, 0)); found != byId.end())
            put(*found->second, *q);
    return {};
}

constexpr const char* kInputColumns = "role, path, size, sha256, model, version, source";
constexpr const char* kStepColumns = "kind, name, started_ms, ended_ms, bytes, retries, outcome";

} // namespace

Result<std::vector<RunRecord>> FindRuns(const SqlSession& session, const RunFilter& filter,
                                        Detail detail) {
    const Where where = WhereOf(filter);
    Result<std::vector<RunRecord>> found =
        SelectRuns(session, where, QStringLiteral("ORDER BY started_ms, run_id"));
    if (!found)
        return found;
    std::vector<RunRecord>& runs = *found;
    if (Status inputs = LoadParts(
            session, kInputColumns, "run_inputs", where, runs,
            [](RunRecord& run, const QSqlQuery& row) { run.inputs.push_back(InputOf(row, 1)); });
        !inputs)
        return Failure{inputs.Error()};
    if (detail == Detail::Steps)
        if (Status steps = LoadParts(
                session, kStepColumns, "run_steps", where, runs,
                [](RunRecord& run, const QSqlQuery& row) { run.steps.push_back(StepOf(row, 1)); });
            !steps)
            return Failure{steps.Error()};
    return found;
}

Result<RunRecord> LoadRun(const SqlSession& session, const std::string& idOrPrefix) {
    Result<QSqlQuery> ids = session.Run(
        QStringLiteral("SELECT run_id FROM runs WHERE run_id = ? OR substr(run_id, 1, ?) = ?"),
        {QString::fromStdString(idOrPrefix), static_cast<int>(idOrPrefix.size()),
         QString::fromStdString(idOrPrefix)});
    if (!ids)
        return Failure{ids.Error()};
    std::vector<std::string> found;
    while (ids->next())
        found.push_back(Str(*ids, 0));
    if (found.empty())
        return Failure{"no record has the id " + idOrPrefix};
    if (found.size() > 1 && std::find(found.begin(), found.end(), idOrPrefix) == found.end())
        return Failure{std::to_string(found.size()) + " records have ids that begin with " +
                       idOrPrefix + "; give more of the id"};
    const std::string runId = found.size() == 1 ? found.front() : idOrPrefix; // the whole id given
    const Where byId{QStringLiteral(" WHERE run_id = ?"), {QString::fromStdString(runId)}};
    Result<std::vector<RunRecord>> selected = SelectRuns(session, byId, QString());
    if (!selected)
        return Failure{selected.Error()};
    if (selected->empty())
        return Failure{"no record has the id " + idOrPrefix};
    std::vector<RunRecord>& runs = *selected;
    if (Status inputs = LoadParts(
            session, kInputColumns, "run_inputs", byId, runs,
            [](RunRecord& run, const QSqlQuery& row) { run.inputs.push_back(InputOf(row, 1)); });
        !inputs)
        return Failure{inputs.Error()};
    if (Status steps = LoadParts(
            session, kStepColumns, "run_steps", byId, runs,
            [](RunRecord& run, const QSqlQuery& row) { run.steps.push_back(StepOf(row, 1)); });
        !steps)
        return Failure{steps.Error()};
    Result<QSqlQuery> stamp = session.Run(
        QStringLiteral("SELECT file, digest_before, digest_after, model, version FROM run_stamps "
                       "WHERE run_id = ?"),
        byId.values);
    if (!stamp)
        return Failure{stamp.Error()};
    if (stamp->next())
        runs.front().stamp = StampFacts{Str(*stamp, 0), Str(*stamp, 1), Str(*stamp, 2),
                                        Str(*stamp, 3), Str(*stamp, 4)};
    return std::move(runs.front());
}

Result<std::vector<std::string>> LoadEvents(const SqlSession& session, const std::string& runId) {
    Result<QSqlQuery> q =
        session.Run(QStringLiteral("SELECT lines FROM run_events WHERE run_id = ? ORDER BY chunk"),
                    {QString::fromStdString(runId)});
    if (!q)
        return Failure{q.Error()};
    std::vector<std::string> lines;
    while (q->next()) {
        const QByteArray text = qUncompress(q->value(0).toByteArray());
        for (const QByteArray& line : text.split('\n'))
            if (!line.isEmpty())
                lines.push_back(line.toStdString());
    }
    return lines;
}

Result<std::vector<YieldRow>> Yield(const SqlSession& session, const RunFilter& filter, YieldBy by,
                                    const QTimeZone& zone) {
    Where where = WhereOf(filter);
    And(where, "verdict <> ?", {VerdictValue(RecordVerdict::Running)});
    const QString digest = by == YieldBy::Digest
                               ? QStringLiteral("(SELECT sha256 FROM run_inputs i WHERE i.run_id "
                                                "= runs.run_id AND i.position = 0)")
                               : QStringLiteral("''");
    Result<QSqlQuery> q = session.Run(
        QStringLiteral("SELECT run_id, serial_number, usb_path, slot, started_ms, verdict, %1, "
                       "station_id FROM runs%2 ORDER BY started_ms, run_id")
            .arg(digest, where.sql),
        where.values);
    if (!q)
        return Failure{q.Error()};
    struct Unit {
        std::string row; // its key in `rows`
        bool passed = false;
    };
    std::unordered_map<std::string, Unit> units;
    std::map<std::string, YieldRow> rows;
    const QString passed = QString::fromUtf8(NameOf(RecordVerdict::Passed));
    while (q->next()) {
        const std::string serial = Str(*q, 1);
        const std::string usbPath = Str(*q, 2);
        const std::string slot = Str(*q, 3);
        const std::string station = Str(*q, 7);
        const bool pass = q->value(5).toString() == passed;
        std::string key = !serial.empty() ? "s:" + serial
                          : !usbPath.empty() || !slot.empty()
                              ? "p:" + station + "\n" + usbPath + "\n" + slot
                              : "r:" + Str(*q, 0);
        auto found = units.find(key);
        // Without a serial number, a handset that passed has left its port.
        if (found != units.end() && found->second.passed && serial.empty()) {
            units.erase(found);
            found = units.end();
        }
        if (found == units.end()) {
            std::string group;
            const QDateTime started =
                QDateTime::fromMSecsSinceEpoch(q->value(4).toLongLong(), zone);
            switch (by) {
            case YieldBy::Slot:
                group = slot;
                break;
            case YieldBy::Digest:
                group = Str(*q, 6);
                break;
            case YieldBy::Hour:
                group = started.toString(QStringLiteral("yyyy-MM-dd HH:00")).toStdString();
                break;
            case YieldBy::Day:
                group = started.toString(QStringLiteral("yyyy-MM-dd")).toStdString();
                break;
            }
            const std::string rowKey = by == YieldBy::Slot ? station + "\n" + slot : group;
            YieldRow& row = rows[rowKey];
            row.group = group;
            row.station = by == YieldBy::Slot ? station : std::string();
            ++row.units;
            ++row.runs;
            if (pass)
                ++row.firstPass;
            units.emplace(std::move(key), Unit{rowKey, pass});
            continue;
        }
        Unit& unit = found->second;
        YieldRow& row = rows[unit.row];
        ++row.runs;
        if (pass && !unit.passed) {
            ++row.retested;
            unit.passed = true;
        }
    }
    std::vector<YieldRow> table;
    for (auto& [group, row] : rows)
        table.push_back(std::move(row));
    return table;
}

YieldRow YieldTotal(const std::vector<YieldRow>& rows) {
    YieldRow total{.group = "all"};
    for (const YieldRow& row : rows) {
        total.units += row.units;
        total.firstPass += row.firstPass;
        total.retested += row.retested;
        total.runs += row.runs;
    }
    return total;
}

Result<std::vector<StationSpan>> StationSpans(const SqlSession& session, const RunFilter& filter) {
    return Rows(session,
                QStringLiteral("SELECT station_id, count(*), min(started_ms), "
                               "max(COALESCE(ended_ms, started_ms)) FROM runs%1 "
                               "GROUP BY station_id ORDER BY station_id"),
                WhereOf(filter), [](const QSqlQuery& q) {
                    return StationSpan{Str(q, 0), q.value(1).toLongLong(), q.value(2).toLongLong(),
                                       q.value(3).toLongLong()};
                });
}

Result<std::vector<StepTime>> StepTimes(const SqlSession& session, const RunFilter& filter) {
    Where where = WhereOf(filter);
    And(where, "verdict = ?", {VerdictValue(RecordVerdict::Passed)});
    return Rows(
        session,
        QStringLiteral("SELECT r.station_id, r.slot, s.kind, s.run_id, "
                       "CAST(SUM(s.ended_ms - s.started_ms) AS BIGINT) FROM run_steps s "
                       "JOIN (SELECT run_id, station_id, slot FROM runs%1) r "
                       "ON r.run_id = s.run_id WHERE s.ended_ms IS NOT NULL "
                       "GROUP BY r.station_id, r.slot, s.kind, s.run_id "
                       "ORDER BY r.station_id, r.slot, s.kind, s.run_id"),
        where, [](const QSqlQuery& q) {
            return StepTime{Str(q, 0), Str(q, 1), Str(q, 2), Str(q, 3), q.value(4).toLongLong()};
        });
}

Result<std::vector<FailureCount>> FailureCounts(const SqlSession& session,
                                                const RunFilter& filter) {
    Where where = WhereOf(filter);
    AndUnpassed(where);
    return Rows(
        session,
        QStringLiteral("SELECT reason, verdict, error_class, failed_half, station_id, slot, "
                       "count(*), max(started_ms) FROM runs%1 "
                       "GROUP BY reason, verdict, error_class, failed_half, station_id, slot "
                       "ORDER BY count(*) DESC, max(started_ms) DESC"),
        where, [](const QSqlQuery& q) {
            return FailureCount{.reason = Str(q, 0),
                                .verdict = VerdictNamed(Str(q, 1)).value_or(RecordVerdict::Failed),
                                .errorClass = ErrorClassNamed(Str(q, 2)),
                                .half = HalfNamed(Str(q, 3)),
                                .station = Str(q, 4),
                                .slot = Str(q, 5),
                                .runs = q.value(6).toInt(),
                                .lastMs = q.value(7).toLongLong()};
        });
}

Result<std::vector<RunRecord>> LatestFailures(const SqlSession& session, const RunFilter& filter,
                                              int count) {
    Where where = WhereOf(filter);
    AndUnpassed(where);
    return SelectRuns(session, where,
                      QStringLiteral("ORDER BY started_ms DESC, run_id LIMIT %1").arg(count));
}

Result<StoreCheck> CheckStore(const SqlSession& session) {
    StoreCheck check;
    const Result<int> version = SchemaVersion(session);
    if (!version)
        return Failure{version.Error()};
    check.schemaVersion = *version;
    if (*version > LatestSchemaVersion())
        check.problems.push_back("the schema is version " + std::to_string(*version) +
                                 ", newer than this Marlow knows");
    if (session.SqlDialect() == Dialect::Sqlite) {
        for (const char* pragma : {"PRAGMA integrity_check", "PRAGMA foreign_key_check"}) {
            Result<QSqlQuery> q = session.Run(QString::fromUtf8(pragma));
            if (!q)
                return Failure{q.Error()};
            while (q->next()) {
                QStringList row;
                for (int i = 0; i < q->record().count(); ++i)
                    row << q->value(i).toString();
                if (row != QStringList{QStringLiteral("ok")})
                    check.problems.push_back(std::string(pragma + 7) + ": " +
                                             row.join(' ').toStdString());
            }
        }
    }
    Result<QSqlQuery> counts = session.Run(
        QStringLiteral("SELECT count(*), sum(CASE WHEN verdict = ? THEN 1 ELSE 0 END), "
                       "sum(CASE WHEN verdict = ? THEN 1 ELSE 0 END) FROM runs"),
        {VerdictValue(RecordVerdict::Running), VerdictValue(RecordVerdict::Interrupted)});
    if (!counts)
        return Failure{counts.Error()};
    if (counts->next()) {
        check.runs = counts->value(0).toLongLong();
        check.running = counts->value(1).toLongLong();
        check.interrupted = counts->value(2).toLongLong();
    }
    return check;
}

} // namespace marlow::records
