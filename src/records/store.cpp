#include "records/store.h"

#include "common/regular_file.h"
#include "records/outbox.h"
#include "records/process_identity.h"
#include "records/record.h"
#include "records/records_log.h"
#include "records/schema.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace marlow::records {

namespace {

// Below this, a run's record (its events above all) may not fit.
constexpr std::uint64_t kLeastFreeBytes = 1024 * 1024;

QString NewConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("marlow-runs-%1").arg(next++);
}

// The folder for the owner alone, the file too: records name operators.
Status MakeStoreFile(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder) &&
        !(QDir().mkpath(folder) &&
          QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return Failure{"the folder of the run store " + path + " cannot be made"};
    if (const Status regular = NamesRegularFileOrNothing(path); !regular)
        return Failure{"the run store " + path + " " + regular.Error()};
    if (info.exists())
        return {};
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Failure{"the run store " + path + " cannot be made (" + std::strerror(errno) +
                       "); make its folder writable or choose another file with the RunStore "
                       "setting"};
    ::close(fd);
    return {};
}

} // namespace

RunStore::RunStore(QString connectionName, const StoreOptions& options)
    : session_(std::move(connectionName), Dialect::Sqlite, options.path, options.busyWait) {}

RunStore::~RunStore() {
    const QString name = session_.Database().connectionName();
    session_.Database().close();
    QSqlDatabase::removeDatabase(name);
}

Result<std::unique_ptr<RunStore>> RunStore::Open(const StoreOptions& options) {
    if (options.path.empty())
        return Failure{"no run store is named"};
    if (options.access == StoreAccess::Record) {
        if (const Status made = MakeStoreFile(options.path); !made)
            return Failure{made.Error()};
    } else if (!QFileInfo::exists(QString::fromStdString(options.path))) {
        return Failure{"there is no run store at " + options.path +
                       " (nothing has been recorded there yet)"};
    }
    const QString name = NewConnectionName();
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    std::unique_ptr<RunStore> store(new RunStore(name, options));
    if (const Status prepared = store->Prepare(options); !prepared)
        return Failure{prepared.Error()};
    return store;
}

Status RunStore::Prepare(const StoreOptions& options) {
    QSqlDatabase db = session_.Database();
    db.setDatabaseName(QString::fromStdString(options.path));
    const QString busy = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options.busyWait.count());
    const QFileInfo file(QString::fromStdString(options.path));
    const bool readOnly = options.access == StoreAccess::Query &&
                          !(file.isWritable() && QFileInfo(file.absolutePath()).isWritable());
    db.setConnectOptions(readOnly ? busy + QStringLiteral(";QSQLITE_OPEN_READONLY") : busy);
    if (!db.open())
        return session_.FaultOf(db.lastError());
    // A file that is no database at all fails its first read, not the open.
    if (const Status readable = session_.Exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        !readable)
        return readable;
    if (readOnly) {
        const Result<int> version = SchemaVersion(session_);
        if (!version)
            return Failure{version.Error()};
        if (*version > LatestSchemaVersion())
            return Failure{"the run store " + options.path +
                           " was made by a newer Marlow; use that one to read it"};
        if (*version == 0)
            return Failure{"the run store " + options.path + " holds no records yet"};
        qCDebug(lcRecords).noquote() << file.filePath() << "opened read-only";
        return {};
    }
    // WAL: readers never wait for the writer and a commit is one append.
    // FULL: every commit reaches the disk before the verdict is shown.
    for (const char* pragma :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
        if (const Status set = session_.Exec(QString::fromUtf8(pragma)); !set)
            return set;
    if (const Result<int> version = Migrate(session_); !version)
        return Failure{version.Error()};
    writable_ = true;
    // A query goes on without this upkeep (the store may be busy); a
    // recording program needs it, or it would take a dead run for a live one.
    if (const Result<int> marked = MarkInterrupted();
        !marked && options.access == StoreAccess::Record)
        return Failure{marked.Error()};
    qCDebug(lcRecords).noquote() << file.filePath() << "opened";
    return {};
}

Status RunStore::ProbeWrite() const {
    if (!writable_)
        return Failure{"the run store " + session_.Place() + " was opened for reading only"};
    if (const Status locked = session_.InTransaction([] { return Status{}; }); !locked)
        return locked;
    struct statvfs disk {};
    const std::string folder =
        QFileInfo(QString::fromStdString(session_.Place())).absolutePath().toStdString();
    if (::statvfs(folder.c_str(), &disk) == 0 &&
        static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < kLeastFreeBytes)
        return Failure{"the run store " + session_.Place() +
                       " cannot grow: its disk is full; free some space"};
    return {};
}

Result<int> RunStore::MarkInterrupted() const {
    Result<QSqlQuery> running =
        session_.Run(QStringLiteral("SELECT run_id, writer_host, writer_pid, writer_start "
                                    "FROM runs WHERE verdict = ?"),
                     {QString::fromUtf8(NameOf(RecordVerdict::Running))});
    if (!running)
        return Failure{running.Error()};
    std::vector<QString> dead;
    while (running->next()) {
        const WriterIdentity writer{running->value(1).toString().toStdString(),
                                    running->value(2).toLongLong(),
                                    running->value(3).toString().toStdString()};
        if (!WriterLives(writer))
            dead.push_back(running->value(0).toString());
    }
    running->finish();
    if (dead.empty())
        return 0;
    const Status marked = session_.InTransaction([&]() -> Status {
        for (const QString& runId : dead) {
            Result<QSqlQuery> done = session_.Run(
                QStringLiteral("UPDATE runs SET verdict = ?, reason = ?, error_class = ? "
                               "WHERE run_id = ? AND verdict = ?"),
                {QString::fromUtf8(NameOf(RecordVerdict::Interrupted)),
                 QStringLiteral("the run never finished: the program that ran it ended "
                                "(killed, crashed or the power failed)"),
                 QString::fromUtf8(NameOf(ErrorClass::Internal)), runId,
                 QString::fromUtf8(NameOf(RecordVerdict::Running))});
            if (!done)
                return Failure{done.Error()};
            // Another program may have marked it a moment before.
            if (done->numRowsAffected() > 0)
                if (Status queued = QueueForCentral(session_, runId); !queued)
                    return queued;
        }
        return {};
    });
    if (!marked)
        return Failure{marked.Error()};
    qCDebug(lcRecords) << "marked" << dead.size() << "record(s) interrupted";
    return static_cast<int>(dead.size());
}

} // namespace marlow::records
