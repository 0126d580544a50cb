#include "records/sql_session.h"

#include "records/records_log.h"

#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace marlow::records {

namespace {

// SQLite's primary result codes that name a cause an operator can act on.
enum SqliteCode {
    kBusy = 5,
    kLocked = 6,
    kReadOnly = 8,
    kIoError = 10,
    kCorrupt = 11,
    kFull = 13,
    kCantOpen = 14,
    kNotADatabase = 26,
};

// SQLite says only "unable to open" where its folder or file is read-only.
constexpr const char* kLockedWords = " stayed locked by another program for ";

bool MayWrite(const std::string& path) {
    const std::string folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    return (::access(path.c_str(), W_OK) == 0 || errno == ENOENT) &&
           ::access(folder.c_str(), W_OK) == 0;
}

std::string SqliteWords(const std::string& place, int code, const std::string& detail,
                        std::chrono::milliseconds busyWait) {
    if ((code & 0xFF) == kCantOpen && !MayWrite(place))
        code = kReadOnly;
    switch (code & 0xFF) {
    case kBusy:
    case kLocked:
        return "the run store " + place + kLockedWords + std::to_string(busyWait.count()) +
               " ms; close what holds it (a sqlite3 shell, a copy in progress)";
    case kReadOnly:
        return "the run store " + place +
               " cannot be written (a read-only file, folder or disk); make it writable or "
               "choose another file with the RunStore setting";
    case kFull:
        return "the run store " + place + " cannot grow: its disk is full; free some space";
    case kIoError:
        return "the run store " + place + " could not be written (" + detail +
               "; the disk may be full or failing)";
    case kCorrupt:
    case kNotADatabase:
        return "the run store " + place + " is damaged (" + detail +
               "); move it aside and a new one is started ('marlow-cli runs check' tells more)";
    case kCantOpen:
        return "the run store " + place + " cannot be opened (" + detail +
               "); check that its folder exists and may be written";
    default:
        return "the run store " + place + " failed: " + detail;
    }
}

// What went wrong with the central database. libpq words a failed connect
// over several lines ("... failed: Connection refused\n\tIs the server ...").
std::string PostgresWords(const std::string& place, const QSqlError& error,
                          const std::string& detail) {
    const std::string flat = QString::fromStdString(detail).simplified().toStdString();
    if (error.type() != QSqlError::ConnectionError && error.nativeErrorCode() != "28P01")
        return place + " failed: " + flat;
    for (const char* login : {"password authentication failed", "no password supplied",
                              "authentication failed", "role \""})
        if (flat.find(login) != std::string::npos)
            return place + " refused the login (" + flat +
                   "); check the user in the connection string and the password in the file "
                   "named by CentralDatabasePasswordFile or in ~/.pgpass";
    return place + " cannot be reached (" + flat + ")";
}

} // namespace

SqlSession::SqlSession(QString connectionName, Dialect dialect, std::string place,
                       std::chrono::milliseconds busyWait)
    : connectionName_(std::move(connectionName)), dialect_(dialect), place_(std::move(place)),
      busyWait_(busyWait) {}

QSqlDatabase SqlSession::Database() const {
    return QSqlDatabase::database(connectionName_, false);
}

Result<QSqlQuery> SqlSession::Run(const QString& sql, const QVariantList& values) const {
    QSqlQuery query(Database());
    query.setForwardOnly(true);
    // PostgreSQL prepares only what can be prepared: no BEGIN, no COMMIT.
    if (values.isEmpty()) {
        if (!query.exec(sql))
            return FaultOf(query.lastError());
        return query;
    }
    if (!query.prepare(sql))
        return FaultOf(query.lastError());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return FaultOf(query.lastError());
    return query;
}

Status SqlSession::Exec(const QString& sql, const QVariantList& values) const {
    const Result<QSqlQuery> done = Run(sql, values);
    if (!done)
        return Failure{done.Error()};
    return {};
}

Status SqlSession::InTransaction(const std::function<Status()>& work) const {
    // IMMEDIATE takes the write lock at once, waiting for another writer
    // with the busy time-out; a deferred transaction that upgrades later
    // could fail at once when another process wrote in between.
    const Status began = Exec(dialect_ == Dialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE")
                                                          : QStringLiteral("BEGIN"));
    if (!began)
        return began;
    Status done = work();
    if (done)
        done = Exec(QStringLiteral("COMMIT"));
    // The statement that failed may have ended the transaction itself, or
    // the connection with it.
    if (!done && Database().isOpen()) {
        if (const Status undone = Exec(QStringLiteral("ROLLBACK")); !undone)
            qCDebug(lcRecords) << "rollback:" << undone.Error().c_str();
    }
    return done;
}

Failure SqlSession::FaultOf(const QSqlError& error) const {
    const std::string detail = error.databaseText().isEmpty() ? error.text().toStdString()
                                                              : error.databaseText().toStdString();
    qCDebug(lcRecords).noquote() << QString::fromStdString(place_) << "error"
                                 << error.nativeErrorCode() << QString::fromStdString(detail);
    if (dialect_ == Dialect::Sqlite)
        return Failure{SqliteWords(place_, error.nativeErrorCode().toInt(), detail, busyWait_)};
    return Failure{PostgresWords(place_, error, detail)};
}

std::string NotRecordedText(const Failure& why) {
    return "This run is not recorded: " + why.text;
}

bool IsLockedFailure(const Failure& why) {
    return why.text.rfind("the run store ", 0) == 0 &&
           why.text.find(kLockedWords) != std::string::npos;
}

} // namespace marlow::records
