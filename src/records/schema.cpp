#include "records/schema.h"

#include "records/records_log.h"

namespace marlow::records {

namespace {

// The advisory lock's key: any number the database's other users leave alone.
constexpr qint64 kMigrationLock = 0x4d61726c6f77; // "Marlow"

const std::vector<Migration> kMigrations = {
    {1,
     {
         "CREATE TABLE marlow_schema (version INTEGER NOT NULL)",
         "INSERT INTO marlow_schema (version) VALUES (0)",
         "CREATE TABLE runs ("
         " run_id TEXT PRIMARY KEY,"
         " station_id TEXT NOT NULL,"
         " slot TEXT NOT NULL,"
         " front_end TEXT NOT NULL,"
         " operator TEXT NOT NULL,"
         " marlow_version TEXT NOT NULL,"
         " kind TEXT NOT NULL,"
         " usb_path TEXT NOT NULL,"
         " serial_number TEXT NOT NULL,"
         " modem_port TEXT NOT NULL,"
         " started_ms BIGINT NOT NULL,"
         " ended_ms BIGINT,"
         " verdict TEXT NOT NULL,"
         " reason TEXT NOT NULL,"
         " error_class TEXT NOT NULL,"
         " failed_half TEXT NOT NULL,"
         " writer_host TEXT NOT NULL,"
         " writer_pid BIGINT NOT NULL,"
         " writer_start TEXT NOT NULL)",
         "CREATE TABLE run_inputs ("
         " run_id TEXT NOT NULL REFERENCES runs (run_id),"
         " position INTEGER NOT NULL,"
         " role TEXT NOT NULL,"
         " path TEXT NOT NULL,"
         " size BIGINT,"
         " sha256 TEXT NOT NULL,"
         " model TEXT NOT NULL,"
         " version TEXT NOT NULL,"
         " source TEXT NOT NULL,"
         " PRIMARY KEY (run_id, position))",
         "CREATE TABLE run_steps ("
         " run_id TEXT NOT NULL REFERENCES runs (run_id),"
         " position INTEGER NOT NULL,"
         " kind TEXT NOT NULL,"
         " name TEXT NOT NULL,"
         " started_ms BIGINT NOT NULL,"
         " ended_ms BIGINT,"
         " bytes BIGINT,"
         " retries INTEGER NOT NULL,"
         " outcome TEXT NOT NULL,"
         " PRIMARY KEY (run_id, position))",
         "CREATE TABLE run_events ("
         " run_id TEXT NOT NULL REFERENCES runs (run_id),"
         " chunk INTEGER NOT NULL,"
         " line_count INTEGER NOT NULL,"
         " lines {blob} NOT NULL,"
         " PRIMARY KEY (run_id, chunk))",
         "CREATE TABLE run_stamps ("
         " run_id TEXT PRIMARY KEY REFERENCES runs (run_id),"
         " file TEXT NOT NULL,"
         " digest_before TEXT NOT NULL,"
         " digest_after TEXT NOT NULL,"
         " model TEXT NOT NULL,"
         " version TEXT NOT NULL)",
         // What `runs list` and `runs yield` filter and order by.
         "CREATE INDEX runs_started ON runs (started_ms)",
         "CREATE INDEX runs_verdict ON runs (verdict, started_ms)",
         "CREATE INDEX runs_slot ON runs (slot, started_ms)",
         "CREATE INDEX runs_station ON runs (station_id, started_ms)",
         "CREATE INDEX runs_serial ON runs (serial_number, started_ms)",
         "CREATE INDEX run_inputs_sha256 ON run_inputs (sha256)",
         "CREATE INDEX run_inputs_path ON run_inputs (path)",
     }},
    {2,
     {
         // Across stations a slot is known by its station too.
         "CREATE INDEX runs_station_slot ON runs (station_id, slot, started_ms)",
     },
     {
         "CREATE TABLE run_outbox ("
         " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
         " run_id TEXT NOT NULL UNIQUE REFERENCES runs (run_id))",
         "CREATE TABLE forwarding ("
         " last_forwarded_ms BIGINT,"
         " forwarded BIGINT NOT NULL,"
         " last_error TEXT NOT NULL,"
         " last_error_ms BIGINT)",
         "INSERT INTO forwarding VALUES (NULL, 0, '', NULL)",
         // What was recorded before the station knew of forwarding goes too.
         "INSERT INTO run_outbox (run_id) SELECT run_id FROM runs WHERE verdict <> 'running' "
         "ORDER BY ended_ms, started_ms, run_id",
     }},
};

QString InDialect(const char* statement, Dialect dialect) {
    QString sql = QString::fromUtf8(statement);
    sql.replace(QStringLiteral("{blob}"),
                dialect == Dialect::Sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA"));
    return sql;
}

} // namespace

std::span<const Migration> Migrations() {
    return kMigrations;
}

int LatestSchemaVersion() {
    return kMigrations.back().version;
}

Result<int> SchemaVersion(const SqlSession& session) {
    if (!session.Database().tables().contains(QStringLiteral("marlow_schema")))
        return 0;
    Result<QSqlQuery> query = session.Run(QStringLiteral("SELECT version FROM marlow_schema"));
    if (!query)
        return Failure{query.Error()};
    return query->next() ? query->value(0).toInt() : 0;
}

Result<int> Migrate(const SqlSession& session, std::span<const Migration> steps) {
    const int latest = steps.empty() ? 0 : steps.back().version;
    const auto newer = [&](int version) {
        return Failure{"the run store " + session.Place() + " was made by a newer Marlow (its " +
                       "schema is version " + std::to_string(version) + ", this one knows up to " +
                       std::to_string(latest) + ")"};
    };
    const Result<int> found = SchemaVersion(session);
    if (!found)
        return Failure{found.Error()};
    if (*found > latest)
        return newer(*found);
    int version = *found;
    for (const Migration& step : steps) {
        if (step.version <= version)
            continue;
        const Status migrated = session.InTransaction([&]() -> Status {
            // Stations that bring a central database up at once take turns;
            // SQLite's write lock does this for a station's own file.
            if (session.SqlDialect() == Dialect::Postgres)
                if (Status turn = session.Exec(
                        QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kMigrationLock));
                    !turn)
                    return turn;
            // Read again inside the write lock: another program that opened
            // the store at the same time may have taken this step already.
            const Result<int> now = SchemaVersion(session);
            if (!now)
                return Failure{now.Error()};
            if (*now > latest)
                return newer(*now);
            version = *now;
            if (version >= step.version)
                return {};
            std::vector<const char*> statements = step.statements;
            if (session.SqlDialect() == Dialect::Sqlite)
                statements.insert(statements.end(), step.stationOnly.begin(),
                                  step.stationOnly.end());
            for (const char* statement : statements)
                if (Status done = session.Exec(InDialect(statement, session.SqlDialect())); !done)
                    return done;
            if (Status done = session.Exec(QStringLiteral("UPDATE marlow_schema SET version = ?"),
                                           {step.version});
                !done)
                return done;
            version = step.version;
            return {};
        });
        if (!migrated)
            return Failure{migrated.Error()};
        qCDebug(lcRecords).noquote()
            << QString::fromStdString(session.Place()) << "at schema version" << version;
    }
    return version;
}

} // namespace marlow::records
