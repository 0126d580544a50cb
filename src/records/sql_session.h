#pragma once
// One connection to a run store, through Qt SQL, and the words for what went
// wrong on it. The same code serves a station's SQLite file and (with its
// dialect) a central PostgreSQL database; only a few statements differ.
// A session belongs to the thread that opened it.

#include "common/result.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <chrono>
#include <functional>
#include <string>

namespace marlow::records {

enum class Dialect { Sqlite, Postgres };

class SqlSession {
public:
    // `place` names the store in failure texts (its path); `busyWait` is how
    // long a write waits for another writer before it gives up.
    SqlSession(QString connectionName, Dialect dialect, std::string place,
               std::chrono::milliseconds busyWait);

    Dialect SqlDialect() const { return dialect_; }
    QSqlDatabase Database() const;
    const std::string& Place() const { return place_; }

    // Prepares `sql`, binds `values` in order and runs it; the query is
    // positioned before its first row.
    Result<QSqlQuery> Run(const QString& sql, const QVariantList& values = {}) const;
    Status Exec(const QString& sql, const QVariantList& values = {}) const;

    // Runs `work` in one write transaction: all of it is stored or none.
    Status InTransaction(const std::function<Status()>& work) const;

    // What an error of this store means for the operator, and what to do.
    Failure FaultOf(const QSqlError& error) const;

private:
    QString connectionName_;
    Dialect dialect_;
    std::string place_;
    std::chrono::milliseconds busyWait_;
};

// The store's words for a failure that stopped a run's record, for every
// front end alike: "This run is not recorded: …".
std::string NotRecordedText(const Failure& why);

// Whether a failure was another program holding the store's write lock past
// the busy time-out: the one failure that passes by itself.
bool IsLockedFailure(const Failure& why);

} // namespace marlow::records
