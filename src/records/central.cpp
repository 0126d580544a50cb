#include "records/central.h"

#include "common/secret_file.h"
#include "records/records_log.h"
#include "records/schema.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSqlDriver>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <libpq-fe.h>
#include <pwd.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow::records {

namespace {

// A server that does not answer at all holds a connect this long, and with
// it a forwarder's stop.
constexpr const char* kConnectTimeoutSeconds = "10";

QString NewConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("marlow-central-%1").arg(next++);
}

// libpq's own password file, when there is one: libpq would pass over one
// that others may read with only a warning on stderr.
Status CheckLibpqPasswordFile(const std::string& named) {
    std::string path = named;
    if (path.empty())
        path = qEnvironmentVariable("PGPASSFILE").toStdString();
    if (path.empty()) {
        std::string home = qEnvironmentVariable("HOME").toStdString();
        if (home.empty())
            if (const passwd* user = ::getpwuid(::geteuid()); user != nullptr)
                home = user->pw_dir;
        path = home + "/.pgpass";
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    return CheckOwnerOnly(path);
}

// A value in libpq's quotes.
QString Quoted(const std::string& value) {
    QString text = QString::fromStdString(value);
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

struct Connection {
    QString options; // for QSqlDatabase::setConnectOptions
    std::string password;
};

Result<Connection> ConnectionOf(const CentralSettings& settings, const std::string& place) {
    char* why = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(settings.dsn.c_str(), &why);
    if (parsed == nullptr) {
        std::string detail = why != nullptr ? why : "out of memory";
        PQfreemem(why);
        detail = detail.substr(0, detail.find_last_not_of("\n") + 1);
        // libpq quotes the words it stumbled on, which may be a password.
        const bool secret =
            QString::fromStdString(settings.dsn).contains("password", Qt::CaseInsensitive);
        return Failure{place +
                       " is not named by a libpq connection string (key=value pairs or "
                       "a postgresql:// URI)" +
                       (secret ? std::string() : ": " + detail)};
    }
    Connection connection;
    std::set<std::string> given;
    std::string passfile;
    Status refused;
    for (const PQconninfoOption* option = parsed; option->keyword != nullptr; ++option) {
        if (option->val == nullptr)
            continue;
        const std::string key = option->keyword;
        const std::string value = option->val;
        if (key == "password") {
            refused = Failure{place + " holds a password; take it out of the connection string "
                                      "(settings and command lines are read by others) and put it "
                                      "in the file named by CentralDatabasePasswordFile or in "
                                      "~/.pgpass"};
            break;
        }
        // Qt reads ';' as the end of an option, even inside quotes.
        if (value.find(';') != std::string::npos) {
            refused = Failure{place + ": the value of " + key + " holds a ';', which Qt's " +
                              "PostgreSQL driver cannot pass on"};
            break;
        }
        if (key == "passfile")
            passfile = value;
        given.insert(key);
        connection.options += QString::fromStdString(key) + '=' + Quoted(value) + ';';
    }
    PQconninfoFree(parsed);
    if (!refused)
        return Failure{refused.Error()};
    if (!given.contains("connect_timeout"))
        connection.options += QStringLiteral("connect_timeout=%1;").arg(kConnectTimeoutSeconds);
    if (!given.contains("application_name"))
        connection.options += QStringLiteral("fallback_application_name='marlow';");
    if (!settings.passwordFile.empty()) {
        Result<std::string> password = ReadSecretLine(settings.passwordFile);
        if (!password)
            return Failure{password.Error()};
        connection.password = std::move(*password);
    } else if (Status alone = CheckLibpqPasswordFile(passfile); !alone) {
        return Failure{alone.Error()};
    }
    return connection;
}

void LogNotice(void*, const char* message) {
    qCDebug(lcRecords).noquote() << "central database:" << QString::fromUtf8(message).trimmed();
}

} // namespace

CentralSettings ReadCentralSettings(const QSettings& store) {
    return {store.value(QStringLiteral("CentralDatabase")).toString().trimmed().toStdString(),
            store.value(QStringLiteral("CentralDatabasePasswordFile")).toString().toStdString()};
}

std::string MaskedDsn(const std::string& dsn) {
    static const QRegularExpression kUriUser(QStringLiteral("(://[^:/@?]*:)[^@/?]*@"));
    static const QRegularExpression kUriQuery(QStringLiteral("([?&]password=)[^&]*"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression kPair(
        QStringLiteral("(password\\s*=\\s*)('(\\\\.|[^'])*'?|\\S*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString text = QString::fromStdString(dsn);
    if (text.contains(QStringLiteral("://"))) {
        text.replace(kUriUser, QStringLiteral("\\1***@"));
        text.replace(kUriQuery, QStringLiteral("\\1***"));
    } else {
        text.replace(kPair, QStringLiteral("\\1***"));
    }
    return text.toStdString();
}

CentralDatabase::CentralDatabase(QString connectionName, std::string place)
    : session_(std::move(connectionName), Dialect::Postgres, std::move(place),
               std::chrono::milliseconds(0)) {}

CentralDatabase::~CentralDatabase() {
    {
        const std::lock_guard lock(socketMutex_);
        socket_ = -1;
    }
    const QString name = session_.Database().connectionName();
    session_.Database().close();
    QSqlDatabase::removeDatabase(name);
}

Result<std::unique_ptr<CentralDatabase>> CentralDatabase::Open(const CentralSettings& settings,
                                                               CentralUse use) {
    if (settings.dsn.empty())
        return Failure{"no central database is named (the setting CentralDatabase, or --central "
                       "DSN)"};
    const QString name = NewConnectionName();
    if (!QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name).isValid()) {
        QSqlDatabase::removeDatabase(name);
        return Failure{"Qt's PostgreSQL driver (QPSQL) is missing; install libqt6sql6-psql"};
    }
    std::unique_ptr<CentralDatabase> central(
        new CentralDatabase(name, "the central database " + MaskedDsn(settings.dsn)));
    if (Status connected = central->Connect(settings, use); !connected)
        return Failure{connected.Error()};
    return central;
}

Status CentralDatabase::Connect(const CentralSettings& settings, CentralUse use) {
    const std::string& place = session_.Place();
    const Result<Connection> connection = ConnectionOf(settings, place);
    if (!connection)
        return Failure{connection.Error()};
    {
        QSqlDatabase db = session_.Database();
        db.setConnectOptions(connection->options);
        db.setPassword(QString::fromStdString(connection->password));
        if (!db.open())
            return session_.FaultOf(db.lastError());
        db.setPassword(QString());
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && std::strcmp(handle.typeName(), "pg_conn*") == 0) {
            PGconn* conn = *static_cast<PGconn* const*>(handle.constData());
            PQsetNoticeProcessor(conn, LogNotice, nullptr);
            const std::lock_guard lock(socketMutex_);
            socket_ = PQsocket(conn);
        }
    }
    qCDebug(lcRecords).noquote() << QString::fromStdString(place) << "connected";
    const auto initHint = [&](const std::string& state) {
        return Failure{place + " " + state + "; run 'marlow-cli runs central-init --central " +
                       MaskedDsn(settings.dsn) + "' as its owner"};
    };
    if (use == CentralUse::Init) {
        const Result<int> version = Migrate(session_);
        if (!version)
            return Failure{version.Error()};
        version_ = *version;
        return {};
    }
    const Result<int> version = SchemaVersion(session_);
    if (!version)
        return Failure{version.Error()};
    version_ = *version;
    if (*version == 0)
        return initHint("holds no Marlow schema yet");
    // Forwarding into a newer schema is fine: migrations only add.
    if (use == CentralUse::Forward && *version < LatestSchemaVersion())
        return initHint("is at schema version " + std::to_string(*version) +
                        ", this Marlow writes version " + std::to_string(LatestSchemaVersion()));
    if (use == CentralUse::Query && *version > LatestSchemaVersion())
        return Failure{place + " was made by a newer Marlow; use that one to read it"};
    return {};
}

void CentralDatabase::Interrupt() {
    const std::lock_guard lock(socketMutex_);
    if (socket_ >= 0)
        ::shutdown(socket_, SHUT_RDWR);
}

} // namespace marlow::records
