#include "cli/record_source.h"

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/shared_options.h"

#include <QDateTime>
#include <QRegularExpression>

namespace marlow::cli {

namespace {

// A date, a date and time (local unless it says its zone) or an age.
std::optional<std::int64_t> WhenOf(const QString& text) {
    static const QRegularExpression kAge(QStringLiteral("^(\\d+)([mhd])$"));
    if (const QRegularExpressionMatch m = kAge.match(text); m.hasMatch()) {
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

} // namespace

QList<QCommandLineOption> RunsOptions::All() const {
    QList<QCommandLineOption> all{store, central, json};
    if (withFilters)
        all << since << until << verdict << slot << station << file << serial;
    return all;
}

RunsCommand::RunsCommand(const QStringList& args, QCommandLineParser& parser, bool filters)
    : args_(args), parser_(parser), options_(filters) {
    parser_.addOptions(options_.All());
}

void RunsCommand::Complain(const std::string& text) const {
    Err(Name().toStdString() + ": " + text + "\n");
}

bool RunsCommand::Parse(int* exitCode, qsizetype positionals,
                        const std::function<std::string()>& usage) {
    if (!ParseArguments(parser_, args_, exitCode, {.positionals = static_cast<int>(positionals)}))
        return false;
    const auto refuse = [&](const std::string& text) {
        if (!text.empty())
            Complain(text);
        *exitCode = kExitUsage;
        return false;
    };
    if (parser_.positionalArguments().size() != positionals)
        return refuse("give exactly one ID (see --help)");
    if (options_.withFilters && !ReadFilter())
        return refuse(""); // told already
    if (const std::string wrong = usage(); !wrong.empty())
        return refuse(wrong);
    return true;
}

std::optional<RecordSource> RunsCommand::Begin(int* exitCode, qsizetype positionals,
                                               const std::function<std::string()>& usage) {
    if (!Parse(exitCode, positionals, usage))
        return std::nullopt;
    RecordSource source;
    if (CentralGiven())
        source.central = OpenCentral(exitCode, records::CentralUse::Query);
    else
        source.store = OpenStore(exitCode, records::StoreAccess::Query);
    if (!source.central && !source.store)
        return std::nullopt;
    return source;
}

std::unique_ptr<records::RunStore> RunsCommand::OpenStore(int* exitCode,
                                                          records::StoreAccess access) const {
    const std::string path = OptionReader(parser_, Name().toStdString()).RunStore(options_.store);
    Result<std::unique_ptr<records::RunStore>> store =
        records::RunStore::Open({.path = path, .access = access});
    if (!store) {
        Complain(store.Error());
        *exitCode = kExitBadInput;
        return nullptr;
    }
    return std::move(*store);
}

records::CentralSettings RunsCommand::Central() const {
    return OptionReader(parser_, Name().toStdString()).Central(options_.central);
}

std::unique_ptr<records::CentralDatabase>
RunsCommand::OpenCentral(int* exitCode, records::CentralUse use, int failed) const {
    const records::CentralSettings settings = Central();
    Result<std::unique_ptr<records::CentralDatabase>> central =
        records::CentralDatabase::Open(settings, use);
    if (!central) {
        Complain(central.Error());
        *exitCode = settings.dsn.empty() ? kExitUsage : failed;
        return nullptr;
    }
    return std::move(*central);
}

bool RunsCommand::ReadFilter() {
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

} // namespace marlow::cli
