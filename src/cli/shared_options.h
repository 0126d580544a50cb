#pragma once
// The options several commands share, declared and checked in one place so
// their help texts and error texts cannot drift apart between commands.
// Every check that fails says so on stderr as "<command>: …" and returns
// nothing; the command then ends with the usage exit code.

#include "pda/pda_run_context.h"
#include "records/central.h"
#include "status/broker_settings.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <string>

class QCommandLineParser;

namespace marlow::cli {

// What a command's arguments may hold besides its options.
struct ArgumentRules {
    // Positional arguments the command takes at most; one more is a usage
    // error that names it (a misspelt or misplaced word must not be dropped).
    int positionals = 0;
    // Options that may be given an empty value.
    QStringList mayBeEmpty{};
};

// Parses a command's arguments. Returns false when the command should end at
// once with *exitCode: after --help (0) or on a usage error (2, told on
// stderr). An option or argument given with an empty value is such an error
// (a script's unset variable must not quietly become "the default" or "wait
// for nothing"), except for the options the rules name, and so is an
// argument beyond those the rules allow.
bool ParseArguments(QCommandLineParser& parser, const QStringList& args, int* exitCode,
                    const ArgumentRules& rules = {});

// --timeout SECONDS for `pda`, `phone`, `total` and `uart`.
QCommandLineOption TimeoutOption();

// --run-store PATH: the run store to record into or read, instead of the
// setting RunStore or ~/.local/share/Korvane/Marlow/runs.sqlite.
QCommandLineOption RunStoreOption();

// --central DSN: the central PostgreSQL database instead of the setting
// CentralDatabase (`runs`: read it instead of the station's store).
QCommandLineOption CentralOption();

// --status-broker HOST:PORT: the MQTT broker that carries the slots' live
// states, instead of the setting StatusBroker.
QCommandLineOption StatusBrokerOption();

// --target ram|flash; the default comes first in its help and its error.
QCommandLineOption TargetOption(pda::DownloadTarget byDefault);

// Where handsets come from: --bus SOCKET [--bus-group NAME] or --usb, and
// --wait SECONDS for them to arrive. The help speaks of one handset or of
// several, as the command serves.
enum class HandsetCount { One, Several };
struct HandsetSourceOptions {
    HandsetSourceOptions(HandsetCount count, int defaultWaitSeconds);
    QList<QCommandLineOption> All() const { return {bus, busGroup, usb, wait}; }
    QCommandLineOption bus, busGroup, usb, wait;
};
struct HandsetSource {
    std::string bus; // empty: --usb
    std::string busGroup;
};

// The modem's side: --library PATH, --port PATH or --port-pattern PATTERN;
// the port's help texts are the command's own.
struct ModemPortOptions {
    ModemPortOptions(const QString& portHelp, const QString& patternHelp);
    QList<QCommandLineOption> All() const { return {library, port, pattern}; }
    QCommandLineOption library, port, pattern;
};
struct ModemPort {
    QString library;
    QString port;
    QString pattern;
};

// What goes to stdout: --trace (its help names what the trace is) and --json.
struct OutputOptions {
    explicit OutputOptions(const QString& traceHelp);
    QList<QCommandLineOption> All() const { return {trace, json}; }
    QCommandLineOption trace, json;
};
struct OutputChoice {
    bool trace = false;
    bool json = false;
};
enum class OutputMix { Both, OneOnly };

// What a PDA download needs: the file, where it goes, where handsets come from.
struct PdaDownloadChoice {
    std::string file;
    pda::DownloadTarget target = pda::DownloadTarget::Ram;
    HandsetSource handsets;
};

// Whether a missing option's error shows its value name ("--bus SOCKET").
enum class ValueName { Hidden, Shown };
// Whether a number's error names its range ("takes a number from 0 on").
enum class RangeWords { Hidden, Shown };

// Reads the shared options after ParseArguments, in the order the command
// asks, each with its check.
class OptionReader {
public:
    OptionReader(const QCommandLineParser& parser, std::string command)
        : parser_(parser), command_(std::move(command)) {}

    // "--file is required (see --help)"; the value's bytes as given.
    std::optional<std::string> Required(const QCommandLineOption& option,
                                        ValueName shown = ValueName::Hidden) const;
    // The --run-store path, else the setting's, else the default.
    std::string RunStore(const QCommandLineOption& option) const;
    // The --central connection string, else the setting's; the password
    // file always from the settings.
    records::CentralSettings Central(const QCommandLineOption& option) const;
    // The --status-broker address, else the setting's; TLS and the login
    // always from the settings.
    status::BrokerSettings StatusBroker(const QCommandLineOption& option) const;
    // "--target is ram or flash", the command's default named first.
    std::optional<pda::DownloadTarget> Target(const QCommandLineOption& option,
                                              pda::DownloadTarget byDefault) const;
    // "give either --bus SOCKET or --usb"
    std::optional<HandsetSource> Handsets(const HandsetSourceOptions& options) const;
    // The three above, in that order: the file (required), --target, the
    // handset source.
    std::optional<PdaDownloadChoice> PdaDownload(const QCommandLineOption& file,
                                                 const QCommandLineOption& target,
                                                 pda::DownloadTarget byDefault,
                                                 const HandsetSourceOptions& handsets) const;
    // "give --port or --port-pattern, not both"
    std::optional<ModemPort> Modem(const ModemPortOptions& options) const;
    // "give --trace or --json, not both" where a command allows one only.
    std::optional<OutputChoice> Output(const OutputOptions& options, OutputMix mix) const;
    // A whole number of seconds from 0 on ("--wait takes a number of seconds").
    std::optional<std::chrono::seconds> Seconds(const QCommandLineOption& option) const;
    // A whole number from 0 on (`base` 0 also takes 0x… and 0…), or `unset`
    // when the option is not given ("--devices takes a number from 0 on").
    std::optional<int> Count(const QCommandLineOption& option, int unset,
                             RangeWords range = RangeWords::Hidden, int base = 10) const;

    // The modem's side of `phone` and `total`: the port options and a
    // one-only output, into the command's `library`, `port`, `pattern` and
    // `output` fields.
    template <typename Options>
    bool ModemRun(const ModemPortOptions& modem, const OutputOptions& output,
                  Options& options) const {
        const std::optional<ModemPort> port = Modem(modem);
        if (!port)
            return false;
        const std::optional<OutputChoice> shown = Output(output, OutputMix::OneOnly);
        if (!shown)
            return false;
        options.library = port->library;
        options.port = port->port;
        options.pattern = port->pattern;
        options.output.trace = shown->trace;
        options.output.json = shown->json;
        return true;
    }

private:
    void Complain(const std::string& text) const;

    const QCommandLineParser& parser_;
    const std::string command_;
};

} // namespace marlow::cli
