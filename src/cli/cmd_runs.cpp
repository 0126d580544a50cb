// marlow-cli runs list|show|export|yield|check: the run store's records,
// read back, or with --central those of every station in the central
// database. Text fits a terminal; --json prints one object a line. Exit 3
// when the store or the central database cannot be opened (missing,
// damaged, made by a newer Marlow, not reached), 1 when a query fails, a
// record is not found or `check` finds the store damaged.

#include "cli/output.h"
#include "cli/record_source.h"
#include "cli/run_record_printer.h"
#include "records/record_text.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace marlow::cli {
namespace {

int RunList(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Lists the recorded runs that match the filters, oldest first: id, start (local time), "
        "how long, verdict, slot, serial number and file.");
    RunsCommand command(args, parser, true);
    int exitCode = kExitOk;
    const auto store = command.Begin(&exitCode, 0);
    if (!store)
        return exitCode;
    const auto runs = Answer(command, FindRuns(store->Session(), command.Filter()), &exitCode);
    if (!runs)
        return exitCode;
    if (!command.Json()) {
        Out(RecordListText(*runs));
        return kExitOk;
    }
    for (const records::RunRecord& run : *runs)
        OutJsonLine(RecordJson(run));
    return kExitOk;
}

int RunShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Shows one record whole: the run's facts, its files and "
                                     "steps and, with --events, its event stream.");
    parser.addPositionalArgument("ID", "The record's id, or as much of its start as tells it.");
    const QCommandLineOption events("events", "Also print the run's events, one JSON line each.");
    parser.addOption(events);
    RunsCommand command(args, parser, false);
    int exitCode = kExitOk;
    const auto store = command.Begin(&exitCode, 1);
    if (!store)
        return exitCode;
    const auto run =
        Answer(command, LoadRun(store->Session(), parser.positionalArguments()[0].toStdString()),
               &exitCode);
    if (!run)
        return exitCode;
    std::vector<std::string> lines;
    if (parser.isSet(events)) {
        const auto found =
            Answer(command, LoadEvents(store->Session(), run->facts.runId), &exitCode);
        if (!found)
            return exitCode;
        lines = *found;
    }
    if (command.Json()) {
        QJsonObject shown = RecordJson(*run);
        if (parser.isSet(events)) {
            QJsonArray stream;
            for (const std::string& line : lines)
                stream.append(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
            shown["events"] = stream;
        }
        OutJsonLine(shown);
        return kExitOk;
    }
    Out(RecordText(*run));
    if (parser.isSet(events)) {
        Out("events\n");
        for (const std::string& line : lines)
            Out(line + "\n");
    }
    return kExitOk;
}

int RunExport(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Exports the records that match the filters, oldest first: --csv one row a record "
        "(columns in the README), --json one object a record with its files and steps.");
    const QCommandLineOption csv("csv", "Comma-separated values with a heading row.");
    parser.addOption(csv);
    RunsCommand command(args, parser, true);
    int exitCode = kExitOk;
    const auto store = command.Begin(&exitCode, 0, [&] {
        return parser.isSet(csv) == command.Json() ? std::string("give --csv or --json")
                                                   : std::string();
    });
    if (!store)
        return exitCode;
    const auto runs = Answer(
        command, FindRuns(store->Session(), command.Filter(), records::Detail::Steps), &exitCode);
    if (!runs)
        return exitCode;
    if (parser.isSet(csv)) {
        Out(records::RecordsCsv(*runs));
        return kExitOk;
    }
    for (const records::RunRecord& run : *runs)
        OutJsonLine(RecordJson(run));
    return kExitOk;
}

int RunYield(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "First-pass yield and retest rate of the runs that match the filters, by slot, image "
        "digest, hour or day. A handset is known by its serial number, else by its USB path "
        "and slot; one that did not pass first and passed later is a retest. Runs still "
        "running are left out.");
    const QCommandLineOption by("by", "slot (default), digest, hour or day.", "GROUP", "slot");
    parser.addOption(by);
    RunsCommand command(args, parser, true);
    static const std::map<QString, records::YieldBy> kGroups = {
        {"slot", records::YieldBy::Slot},
        {"digest", records::YieldBy::Digest},
        {"hour", records::YieldBy::Hour},
        {"day", records::YieldBy::Day}};
    auto group = kGroups.end();
    int exitCode = kExitOk;
    const auto store = command.Begin(&exitCode, 0, [&] {
        group = kGroups.find(parser.value(by));
        return group == kGroups.end() ? std::string("--by is slot, digest, hour or day")
                                      : std::string();
    });
    if (!store)
        return exitCode;
    const auto rows =
        Answer(command, Yield(store->Session(), command.Filter(), group->second), &exitCode);
    if (!rows)
        return exitCode;
    if (!command.Json()) {
        Out(YieldText(*rows, group->second));
        return kExitOk;
    }
    for (const QJsonObject& row : YieldJson(*rows, group->second))
        OutJsonLine(row);
    return kExitOk;
}

int RunCheck(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Checks the run store whole (SQLite's integrity and foreign key checks) and counts its "
        "records. Exit 1 when it finds damage.");
    RunsCommand command(args, parser, false);
    int exitCode = kExitOk;
    const auto store = command.Begin(&exitCode, 0);
    if (!store)
        return exitCode;
    const auto check = Answer(command, CheckStore(store->Session()), &exitCode);
    if (!check)
        return exitCode;
    if (command.Json())
        OutJsonLine(CheckJson(*check));
    else
        Out(CheckText(*check));
    return check->problems.empty() ? kExitOk : kExitFailed;
}

CommandRegistrar list({"runs list", "list the recorded runs", RunList});
CommandRegistrar show({"runs show", "show one recorded run whole", RunShow});
CommandRegistrar exportRuns({"runs export", "export recorded runs as CSV or JSON", RunExport});
CommandRegistrar yield({"runs yield", "first-pass yield and retests of recorded runs", RunYield});
CommandRegistrar check({"runs check", "check the run store's integrity", RunCheck});

} // namespace
} // namespace marlow::cli
