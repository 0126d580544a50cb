#pragma once
// The central PostgreSQL database a factory's stations forward their records
// to, through Qt SQL's QPSQL driver. Where it is: the setting
// `CentralDatabase` (a libpq connection string, key=value pairs or a
// postgresql:// URI; TLS options such as sslmode pass through), or
// `marlow-cli --central DSN`. How a station proves who it is: never a
// password in the connection string (the settings file and a command line
// are read by others), but the file named by `CentralDatabasePasswordFile`
// (the password alone on its first line) or libpq's own password file
// (PGPASSFILE, ~/.pgpass); either must be its owner's alone (mode 0600).

#include "common/result.h"
#include "records/sql_session.h"

#include <memory>
#include <mutex>
#include <string>

class QSettings;

namespace marlow::records {

struct CentralSettings {
    std::string dsn{};          // empty: no central database
    std::string passwordFile{}; // empty: libpq's own password file
};

// `CentralDatabase` and `CentralDatabasePasswordFile`.
CentralSettings ReadCentralSettings(const QSettings& store);

// `dsn` with any password in it shown as ***, for every text that names a
// connection string.
std::string MaskedDsn(const std::string& dsn);

// What a connection is for: reading records, adding records (the schema
// must be there and current), or making and migrating the schema.
enum class CentralUse { Query, Forward, Init };

class CentralDatabase {
public:
    // The connection, or why not: the connection string or a password file
    // refused, the server not reached, the login refused, no Marlow schema.
    static Result<std::unique_ptr<CentralDatabase>> Open(const CentralSettings& settings,
                                                         CentralUse use);
    ~CentralDatabase();
    CentralDatabase(const CentralDatabase&) = delete;
    CentralDatabase& operator=(const CentralDatabase&) = delete;

    const SqlSession& Session() const { return session_; }
    int SchemaVersionFound() const { return version_; }

    // From any thread: a call that waits on the server returns at once,
    // failed, and the connection is of no further use.
    void Interrupt();

private:
    CentralDatabase(QString connectionName, std::string place);
    Status Connect(const CentralSettings& settings, CentralUse use);

    SqlSession session_;
    int version_ = 0;
    std::mutex socketMutex_;
    int socket_ = -1;
};

} // namespace marlow::records
