#pragma once
// Where `marlow-cli runs` reads and sends records: the options every runs
// command takes (--run-store, --central, --json and, for those that select
// records, the filters), parsed and checked in one place, and the station's
// store or the central database opened from them. Exit 3 when the one to
// read cannot be opened (missing, damaged, made by a newer Marlow, not
// reached, the login or a password file refused).

#include "cli/command_registry.h"
#include "cli/shared_options.h"
#include "records/central.h"
#include "records/run_queries.h"
#include "records/store.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace marlow::cli {

// The records a command reads: the station's store, or with --central the
// central database.
struct RecordSource {
    std::unique_ptr<records::RunStore> store;
    std::unique_ptr<records::CentralDatabase> central;
    const records::SqlSession& Session() const {
        return central ? central->Session() : store->Session();
    }
};

struct RunsOptions {
    explicit RunsOptions(bool filters) : withFilters(filters) {}
    QList<QCommandLineOption> All() const;

    bool withFilters;
    QCommandLineOption store = RunStoreOption();
    QCommandLineOption central = CentralOption();
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

class RunsCommand {
public:
    RunsCommand(const QStringList& args, QCommandLineParser& parser, bool filters);

    const QString& Name() const { return args_[0]; }
    void Complain(const std::string& text) const;
    bool Json() const { return parser_.isSet(options_.json); }
    bool CentralGiven() const { return parser_.isSet(options_.central); }
    const records::RunFilter& Filter() const { return filter_; }

    // Parses the arguments and checks them with the command's own `usage`
    // check (a text when they do not go together); false with *exitCode
    // set when the command ends there.
    bool Parse(
        int* exitCode, qsizetype positionals,
        const std::function<std::string()>& usage = [] { return std::string(); });

    // Parse, then the records to read: the central database with
    // --central, else the store; nothing with *exitCode set when the
    // command ends there.
    std::optional<RecordSource> Begin(
        int* exitCode, qsizetype positionals,
        const std::function<std::string()>& usage = [] { return std::string(); });

    // The station's store (made and migrated when `access` records), or
    // why not (exit 3).
    std::unique_ptr<records::RunStore> OpenStore(int* exitCode, records::StoreAccess access) const;
    // The central database named by --central or the setting, or why not
    // (exit 2 when none is named, else `failed`).
    std::unique_ptr<records::CentralDatabase> OpenCentral(int* exitCode, records::CentralUse use,
                                                          int failed = kExitBadInput) const;
    records::CentralSettings Central() const;

private:
    bool ReadFilter();

    const QStringList& args_;
    QCommandLineParser& parser_;
    RunsOptions options_;
    records::RunFilter filter_;
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

} // namespace marlow::cli
