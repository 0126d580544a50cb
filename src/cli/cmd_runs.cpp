// marlow-cli runs list|show|export|yield|check: the run store's records,
// read back. Text fits a terminal; --json prints one object a line. Exit 3
// when the store cannot be opened (missing, damaged, made by a newer
// Marlow), 1 when a query fails, a record is not found or `check` finds the
// store damaged.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/run_record_printer.h"
#include "cli/shared_options.h"
#include "records/run_queries.h"
#include "records/store.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace marlow::cli {
namespace {

using records::RunFilter;

// The options every runs command reads, and the filters of those that
// select records.
struct RunsOptions {
    explicit RunsOptions(bool filters) : withFilters(filters) {}
    QList<QCommandLineOption> All() const {
        QList<QCommandLineOption> all{store, json};
        if (withFilters)
            all << since << until << verdict << slot << station << file << serial;
        return all;
    }

    bool withFilters;
    QCommandLineOption store = RunStoreOption();
    QCommandLineOption json{"json", "Print one JSON object a line."};
    QCommandLineOption since{"since",
                             "Runs started at or after this local date or time (2024-05-01, "
                             "2024-05-01T13:00) or this long ago (30m, 12h, 7d).",
                             "WHEN"};
    QCommandLineOption until{"until", "Runs started before this date, time or age.", "WHEN"};
    QCommandLineOption verdict{
        "verdict",
        "Runs that ended so: running, passed, failed, stopped, device-removed or interrupted.",
        "VERDICT"};
    QCommandLineOption slot{"slot", "Runs in this slot (a USB port path, a serial port).", "SLOT"};
    QCommandLineOption station{"station", "Runs of this station.", "STATION"};
    QCommandLineOption file{"file", "Runs that used this file (its path or SHA-256).", "FILE"};
    QCommandLineOption serial{"serial", "Runs on the handset with this serial number.", "SERIAL"};
};

// A date, a date and time (local unless it says its zone) or an age.
std::optional<std::int64_t> WhenOf(const QString& text) {
    static const QRegularExpression age(QStringLiteral("^(\\d+)([mhd])$"));
    if (const QRegularExpressionMatch m = age.match(text); m.hasMatch()) {
        const qint64 unit = m.captured(2) == "m"   ? 60'000
                            : m.captured(2) == "h" ? 3'600'000
                                                   : 86'400'000;
        return QDateTime::currentMSecsSinceEpoch() - m.captured(1).toLongLong() * unit;
    }
    QDateTime when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        when = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0));
    if (!when.isValid())
        return std::nullopt;
    return when.toMSecsSinceEpoch();
}

class RunsCommand {
public:
    RunsCommand(const QStringList& args, QCommandLineParser& parser, bool filters)
        : args_(args), parser_(parser), options_(filters) {
        parser_.addOptions(options_.All());
    }

    const QString& Name() const { return args_[0]; }
    void Complain(const std::string& text) const { Err(Name().toStdString() + ": " + text + "\n"); }
    bool Json() const { return parser_.isSet(options_.json); }

    bool Parse(int* exitCode, qsizetype positionals) {
        if (!ParseArguments(parser_, args_, exitCode,
                            {.positionals = static_cast<int>(positionals)}))
            return false;
        if (parser_.positionalArguments().size() != positionals) {
            Complain("give exactly one ID (see --help)");
            *exitCode = kExitUsage;
            return false;
        }
        if (options_.withFilters && !ReadFilter()) {
            *exitCode = kExitUsage;
            return false;
        }
        return true;
    }

    const RunFilter& Filter() const { return filter_; }

    // Parses the arguments, runs the command's own check of them (a usage
    // text when they do not go together), then opens the store; nothing
    // with *exitCode set when the command ends there.
    std::unique_ptr<records::RunStore> Begin(
        int* exitCode, qsizetype positionals,
        const std::function<std::string()>& usage = [] { return std::string(); }) {
        if (!Parse(exitCode, positionals))
            return nullptr;
        if (const std::string wrong = usage(); !wrong.empty()) {
            Complain(wrong);
            *exitCode = kExitUsage;
            return nullptr;
        }
        return Open(exitCode);
    }

private:
    // The store, or why not (exit 3).
    std::unique_ptr<records::RunStore> Open(int* exitCode) const {
        const std::string path =
            OptionReader(parser_, Name().toStdString()).RunStore(options_.store);
        Result<std::unique_ptr<records::RunStore>> store =
            records::RunStore::Open({.path = path, .access = records::StoreAccess::Query});
        if (!store) {
            Complain(store.Error());
            *exitCode = kExitBadInput;
            return nullptr;
        }
        return std::move(*store);
    }

    bool ReadFilter() {
        for (const auto& [option, into] :
             {std::pair{&options_.since, &filter_.sinceMs}, {&options_.until, &filter_.untilMs}}) {
            if (!parser_.isSet(*option))
                continue;
            *into = WhenOf(parser_.value(*option));
            if (!*into) {
                Complain("--" + option->names().first().toStdString() +
                         " takes a date (2024-05-01), a date and time (2024-05-01T13:00) or an "
                         "age (30m, 12h, 7d)");
                return false;
            }
        }
        if (parser_.isSet(options_.verdict)) {
            filter_.verdict = records::VerdictNamed(parser_.value(options_.verdict).toStdString());
            if (!filter_.verdict) {
                Complain("--verdict is running, passed, failed, stopped, device-removed or "
                         "interrupted");
                return false;
            }
        }
        filter_.slot = parser_.value(options_.slot).toStdString();
        filter_.station = parser_.value(options_.station).toStdString();
        filter_.file = ArgumentBytes(parser_.value(options_.file));
        filter_.serial = parser_.value(options_.serial).toStdString();
        return true;
    }

    const QStringList& args_;
    QCommandLineParser& parser_;
    RunsOptions options_;
    RunFilter filter_;
};

// Runs `query` on the store; a failed query ends the command with exit 1.
template <typename T>
std::optional<T> Answer(const RunsCommand& command, Result<T> answer, int* exitCode) {
    if (!answer) {
        command.Complain(answer.Error());
        *exitCode = kExitFailed;
        return std::nullopt;
    }
    return std::move(*answer);
}

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
        Out(RecordsCsv(*runs));
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
