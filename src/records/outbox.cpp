#include "records/outbox.h"

#include "records/record_columns.h"
#include "records/records_log.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QStringList>

#include <vector>

namespace marlow::records {

namespace {

// The tables a record spans, parent first, with every column and the
// order of a record's rows.
struct RecordTable {
    const char* name;
    const char* columns;
    const char* rowOrder;
};
const RecordTable kRecordTables[] = {
    {"runs", kRunColumns, ""},
    {"run_inputs", "run_id, position, role, path, size, sha256, model, version, source",
     ", position"},
    {"run_steps", "run_id, position, kind, name, started_ms, ended_ms, bytes, retries, outcome",
     ", position"},
    {"run_events", "run_id, chunk, line_count, lines", ", chunk"},
    {"run_stamps", "run_id, file, digest_before, digest_after, model, version", ""},
};

// Statements this long (in characters) or a little longer.
constexpr qsizetype kLongestStatement = 1 << 20;

std::optional<std::int64_t> Number(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

// Inserts the rows of `table` (`values` a row after another) in statements
// of many rows each; rows the central database has already stay as they
// are. The values are written into the statement in the driver's own
// quoting, as it does for a prepared statement's, without the round trips
// of preparing one.
Status InsertRows(const SqlSession& central, const RecordTable& table,
                  const std::vector<QVariant>& values) {
    const QString columns = QString::fromUtf8(table.columns);
    const qsizetype width = columns.count(QLatin1Char(',')) + 1;
    const QSqlDriver* driver = central.Database().driver();
    QString sql;
    for (qsizetype at = 0; at < static_cast<qsizetype>(values.size()); at += width) {
        sql += sql.isEmpty() ? QStringLiteral("INSERT INTO %1 (%2) VALUES (")
                                   .arg(QString::fromUtf8(table.name), columns)
                             : QStringLiteral(",(");
        for (qsizetype column = 0; column < width; ++column) {
            const QVariant& value = values[static_cast<std::size_t>(at + column)];
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            sql += (column > 0 ? QStringLiteral(",") : QString()) + driver->formatValue(field);
        }
        sql += QLatin1Char(')');
        if (sql.size() >= kLongestStatement ||
            at + width >= static_cast<qsizetype>(values.size())) {
            if (Status done = central.Exec(sql + QStringLiteral(" ON CONFLICT DO NOTHING")); !done)
                return done;
            sql.clear();
        }
    }
    return {};
}

} // namespace

Status QueueForCentral(const SqlSession& local, const QString& runId) {
    return local.Exec(QStringLiteral("INSERT OR IGNORE INTO run_outbox (run_id) VALUES (?)"),
                      {runId});
}

Result<OutboxState> ReadOutbox(const SqlSession& local) {
    OutboxState state;
    Result<QSqlQuery> waiting = local.Run(QStringLiteral(
        "SELECT (SELECT count(*) FROM run_outbox), (SELECT ended_ms FROM run_outbox JOIN runs "
        "USING (run_id) ORDER BY seq LIMIT 1), forwarded, last_forwarded_ms, last_error, "
        "last_error_ms FROM forwarding"));
    if (!waiting)
        return Failure{waiting.Error()};
    if (waiting->next()) {
        state.backlog = waiting->value(0).toLongLong();
        state.oldestEndedMs = Number(waiting->value(1));
        state.forwarded = waiting->value(2).toLongLong();
        state.lastForwardedMs = Number(waiting->value(3));
        state.lastError = waiting->value(4).toString().toStdString();
        state.lastErrorMs = Number(waiting->value(5));
    }
    return state;
}

Result<int> ForwardBatch(const SqlSession& local, const SqlSession& central,
                         const ForwardOptions& options) {
    Result<QSqlQuery> batch = local.Run(
        QStringLiteral("SELECT max(seq), count(*) FROM (SELECT seq FROM run_outbox ORDER BY seq "
                       "LIMIT ?)"),
        {options.batch});
    if (!batch)
        return Failure{batch.Error()};
    if (!batch->next() || batch->value(1).toInt() == 0)
        return 0;
    const qlonglong lastSeq = batch->value(0).toLongLong();
    const int records = batch->value(1).toInt();
    batch->finish();
    // Read whole before anything is sent: the records are finished, so
    // nothing of them changes meanwhile.
    std::vector<std::vector<QVariant>> rows;
    for (const RecordTable& table : kRecordTables) {
        Result<QSqlQuery> q = local.Run(
            QStringLiteral("SELECT %1 FROM %2 JOIN run_outbox USING (run_id) WHERE seq <= ? "
                           "ORDER BY seq%3")
                .arg(QString::fromUtf8(table.columns), QString::fromUtf8(table.name),
                     QString::fromUtf8(table.rowOrder)),
            {lastSeq});
        if (!q)
            return Failure{q.Error()};
        std::vector<QVariant>& values = rows.emplace_back();
        const int columns = q->record().count();
        while (q->next())
            for (int column = 0; column < columns; ++column)
                values.push_back(q->value(column));
    }
    const Status sent = central.InTransaction([&]() -> Status {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (Status done = InsertRows(central, kRecordTables[i], rows[i]); !done)
                return done;
        if (options.beforeCommit)
            options.beforeCommit();
        return {};
    });
    if (!sent)
        return Failure{sent.Error()};
    const Status forgotten = local.InTransaction([&]() -> Status {
        if (Status done =
                local.Exec(QStringLiteral("DELETE FROM run_outbox WHERE seq <= ?"), {lastSeq});
            !done)
            return done;
        return local.Exec(QStringLiteral("UPDATE forwarding SET forwarded = forwarded + ?, "
                                         "last_forwarded_ms = ?, last_error = '', "
                                         "last_error_ms = NULL"),
                          {records, QDateTime::currentMSecsSinceEpoch()});
    });
    // The central database has them; sent again, they change nothing there.
    if (!forgotten)
        return Failure{forgotten.Error()};
    qCDebug(lcRecords) << "forwarded" << records << "record(s) to the central database";
    return records;
}

void NoteForwardingError(const SqlSession& local, const std::string& error) {
    if (const Status noted =
            local.Exec(QStringLiteral("UPDATE forwarding SET last_error = ?, last_error_ms = ?"),
                       {QString::fromStdString(error), QDateTime::currentMSecsSinceEpoch()});
        !noted)
        qCDebug(lcRecords).noquote() << "forwarding error not kept:" << noted.Error().c_str();
}

} // namespace marlow::records
