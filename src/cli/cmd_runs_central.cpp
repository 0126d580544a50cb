// marlow-cli runs central-init|forward|outbox: the station's records and the
// central PostgreSQL database. `central-init` makes or migrates the central
// schema; `forward` sends what waits in the station's outbox, at once;
// `outbox` shows what waits and the last error on the way. Exit codes:
// 0 done (for `forward`: none waits any more); 1 the central database was
// not reached or did not take the records or the schema (the login or a
// password file refused, no schema yet; what did not go waits in the
// outbox); 2 bad arguments, or no central database named; 3 the station's
// store cannot be opened.

#include "cli/output.h"
#include "cli/record_source.h"
#include "cli/run_record_printer.h"
#include "records/outbox.h"

namespace marlow::cli {
namespace {

int RunCentralInit(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Makes the run records' schema in the central database, or brings it up to this "
        "Marlow's version (run it as the database's owner; stations need only insert).");
    RunsCommand command(args, parser, false);
    int exitCode = kExitOk;
    if (!command.Parse(&exitCode, 0))
        return exitCode;
    const auto central = command.OpenCentral(&exitCode, records::CentralUse::Init, kExitFailed);
    if (!central)
        return exitCode;
    const std::string place = records::MaskedDsn(command.Central().dsn);
    if (command.Json())
        OutJsonLine(QJsonObject{{"central", QString::fromStdString(place)},
                                {"schemaVersion", central->SchemaVersionFound()}});
    else
        Out("the central database " + place + " is at schema version " +
            std::to_string(central->SchemaVersionFound()) + "\n");
    return kExitOk;
}

int RunForward(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Sends every record waiting in the station's outbox to the central database, oldest "
        "first, and ends: exit 0 when none waits any more.");
    RunsCommand command(args, parser, false);
    int exitCode = kExitOk;
    if (!command.Parse(&exitCode, 0))
        return exitCode;
    const records::CentralSettings settings = command.Central();
    if (settings.dsn.empty()) {
        command.Complain("no central database is named (the setting CentralDatabase, or "
                         "--central DSN)");
        return kExitUsage;
    }
    const auto store = command.OpenStore(&exitCode, records::StoreAccess::Query);
    if (!store)
        return exitCode;
    const records::SqlSession& local = store->Session();
    std::int64_t forwarded = 0;
    const auto report = [&](const std::string& error) {
        if (!error.empty()) {
            command.Complain(error);
            records::NoteForwardingError(local, error);
        }
        const Result<records::OutboxState> outbox = records::ReadOutbox(local);
        const std::int64_t backlog = outbox ? outbox->backlog : -1;
        if (command.Json())
            OutJsonLine(QJsonObject{{"forwarded", static_cast<qint64>(forwarded)},
                                    {"backlog", static_cast<qint64>(backlog)},
                                    {"error", QString::fromStdString(error)}});
        else
            Out("forwarded " + std::to_string(forwarded) + " records; " +
                (backlog == 0 ? std::string("none waits") : std::to_string(backlog) + " wait") +
                "\n");
        return error.empty() ? kExitOk : kExitFailed;
    };
    const Result<std::unique_ptr<records::CentralDatabase>> central =
        records::CentralDatabase::Open(settings, records::CentralUse::Forward);
    if (!central)
        return report(central.Error());
    for (;;) {
        const Result<int> batch = records::ForwardBatch(local, (*central)->Session());
        if (!batch)
            return report(batch.Error());
        if (*batch == 0)
            return report("");
        forwarded += *batch;
    }
}

int RunOutbox(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows the station's outbox: how many finished records wait for the central database, "
        "how many went, and the last error on the way.");
    RunsCommand command(args, parser, false);
    int exitCode = kExitOk;
    if (!command.Parse(&exitCode, 0))
        return exitCode;
    const auto store = command.OpenStore(&exitCode, records::StoreAccess::Query);
    if (!store)
        return exitCode;
    const auto outbox = Answer(command, records::ReadOutbox(store->Session()), &exitCode);
    if (!outbox)
        return exitCode;
    const std::string central = records::MaskedDsn(command.Central().dsn);
    if (command.Json())
        OutJsonLine(OutboxJson(*outbox, central));
    else
        Out(OutboxText(*outbox, central));
    return kExitOk;
}

CommandRegistrar centralInit({"runs central-init", "make or migrate the central database's schema",
                              RunCentralInit});
CommandRegistrar forward({"runs forward", "send the waiting records to the central database",
                          RunForward});
CommandRegistrar outbox({"runs outbox", "show what waits for the central database", RunOutbox});

} // namespace
} // namespace marlow::cli
