#include "cli/shared_options.h"

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/settings_store.h"

#include "records/store_settings.h"

#include <QCommandLineParser>
#include <QSettings>

namespace marlow::cli {

namespace {

// The first option or argument that was given an empty value, as the
// user wrote it; empty when there is none.
QString EmptyValue(const QCommandLineParser& parser, const QStringList& mayBeEmpty) {
    for (const QString& name : parser.optionNames())
        if (!mayBeEmpty.contains(name) && parser.values(name).contains(QString()))
            return "--" + name;
    if (parser.positionalArguments().contains(QString()))
        return "an argument";
    return {};
}

QString TargetName(pda::DownloadTarget target) {
    return target == pda::DownloadTarget::Flash ? "flash" : "ram";
}

pda::DownloadTarget OtherTarget(pda::DownloadTarget target) {
    return target == pda::DownloadTarget::Flash ? pda::DownloadTarget::Ram
                                                : pda::DownloadTarget::Flash;
}

std::string OptionName(const QCommandLineOption& option) {
    return "--" + option.names().first().toStdString();
}

} // namespace

bool ParseArguments(QCommandLineParser& parser, const QStringList& args, int* exitCode,
                    const ArgumentRules& rules) {
    const QCommandLineOption help = parser.addHelpOption();
    std::string error;
    if (!parser.parse(args))
        error = parser.errorText().toStdString();
    else if (const QString empty = EmptyValue(parser, rules.mayBeEmpty); !empty.isEmpty())
        error = empty.toStdString() + " is given an empty value";
    else if (const QStringList given = parser.positionalArguments();
             given.size() > rules.positionals)
        error = "unexpected argument '" + ArgumentBytes(given[rules.positionals]) + "'";
    if (!error.empty()) {
        Err(args.value(0).toStdString() + ": " + error + "\n(see --help)\n");
        *exitCode = kExitUsage;
        return false;
    }
    if (parser.isSet(help)) {
        // Qt names the program only; name the command too.
        QString text = parser.helpText();
        const qsizetype lineEnd = text.indexOf(' ', text.indexOf("Usage: ") + 7);
        if (text.startsWith("Usage: ") && lineEnd > 0)
            text.replace(0, lineEnd, "Usage: " + args.value(0));
        Out(text.toStdString());
        *exitCode = kExitOk;
        return false;
    }
    return true;
}

QCommandLineOption TimeoutOption() {
    return {"timeout",
            "End the run (exit code 4) when it shows no progress for this many seconds "
            "(default 120; 0: no limit).",
            "SECONDS", "120"};
}

QCommandLineOption RunStoreOption() {
    return {"run-store",
            "The run store (default: the RunStore setting, else "
            "~/.local/share/Korvane/Marlow/runs.sqlite).",
            "PATH"};
}

QCommandLineOption CentralOption() {
    return {"central",
            "The central PostgreSQL database, a libpq connection string (default: the "
            "CentralDatabase setting); its password comes from CentralDatabasePasswordFile or "
            "~/.pgpass, never from here.",
            "DSN"};
}

QCommandLineOption StatusBrokerOption() {
    return {"status-broker",
            "The MQTT broker of the slots' live states (default: the StatusBroker setting); TLS "
            "and the login come from StatusBrokerCaFile and StatusBrokerPasswordFile.",
            "HOST:PORT"};
}

QCommandLineOption TargetOption(pda::DownloadTarget byDefault) {
    const QString first = TargetName(byDefault);
    const QString second = TargetName(OtherTarget(byDefault));
    return {"target", first + " (default) or " + second + ".", first + "|" + second, first};
}

HandsetSourceOptions::HandsetSourceOptions(HandsetCount count, int defaultWaitSeconds)
    : bus("bus",
          count == HandsetCount::One ? "Wait for the handset on this virtual bus socket."
                                     : "Listen for handsets on this virtual bus socket.",
          "SOCKET"),
      busGroup("bus-group", "Let this group use the --bus socket too (default: only this user).",
               "NAME"),
      usb("usb", count == HandsetCount::One ? "Use a real handset on USB (ids from PdaUsbIds)."
                                            : "Use real handsets on USB (ids from PdaUsbIds)."),
      wait("wait",
           QString("Seconds to wait for %1 (default %2).")
               .arg(count == HandsetCount::One ? "the handset" : "the handsets")
               .arg(defaultWaitSeconds),
           "SECONDS", QString::number(defaultWaitSeconds)) {}

ModemPortOptions::ModemPortOptions(const QString& portHelp, const QString& patternHelp)
    : library("library", "The download library to load.", "PATH"), port("port", portHelp, "PATH"),
      pattern("port-pattern", patternHelp, "PATTERN") {}

OutputOptions::OutputOptions(const QString& traceHelp)
    : trace("trace", traceHelp), json("json", "Print one JSON object per event.") {}

void OptionReader::Complain(const std::string& text) const {
    Err(command_ + ": " + text + "\n");
}

std::optional<std::string> OptionReader::Required(const QCommandLineOption& option,
                                                  ValueName shown) const {
    std::string value = ArgumentBytes(parser_.value(option));
    if (!value.empty())
        return value;
    const std::string valueName =
        shown == ValueName::Shown ? " " + option.valueName().toStdString() : "";
    Complain(OptionName(option) + valueName + " is required (see --help)");
    return std::nullopt;
}

std::string OptionReader::RunStore(const QCommandLineOption& option) const {
    if (parser_.isSet(option))
        return ArgumentBytes(parser_.value(option));
    return records::StorePathSetting(UserSettingsStore());
}

records::CentralSettings OptionReader::Central(const QCommandLineOption& option) const {
    records::CentralSettings central = records::ReadCentralSettings(UserSettingsStore());
    if (parser_.isSet(option))
        central.dsn = ArgumentBytes(parser_.value(option));
    return central;
}

status::BrokerSettings OptionReader::StatusBroker(const QCommandLineOption& option) const {
    status::BrokerSettings broker = status::ReadBrokerSettings(UserSettingsStore());
    if (parser_.isSet(option))
        broker.address = parser_.value(option).toStdString();
    return broker;
}

std::optional<pda::DownloadTarget> OptionReader::Target(const QCommandLineOption& option,
                                                        pda::DownloadTarget byDefault) const {
    const QString text = parser_.value(option).toLower();
    for (const pda::DownloadTarget target : {byDefault, OtherTarget(byDefault)})
        if (text == TargetName(target))
            return target;
    Complain("--target is " + TargetName(byDefault).toStdString() + " or " +
             TargetName(OtherTarget(byDefault)).toStdString());
    return std::nullopt;
}

std::optional<HandsetSource> OptionReader::Handsets(const HandsetSourceOptions& options) const {
    if (parser_.isSet(options.bus) == parser_.isSet(options.usb)) {
        Complain("give either --bus SOCKET or --usb");
        return std::nullopt;
    }
    return HandsetSource{ArgumentBytes(parser_.value(options.bus)),
                         parser_.value(options.busGroup).toStdString()};
}

std::optional<PdaDownloadChoice>
OptionReader::PdaDownload(const QCommandLineOption& file, const QCommandLineOption& target,
                          pda::DownloadTarget byDefault,
                          const HandsetSourceOptions& handsets) const {
    std::optional<std::string> fileBytes = Required(file);
    if (!fileBytes)
        return std::nullopt;
    const std::optional<pda::DownloadTarget> targetChoice = Target(target, byDefault);
    if (!targetChoice)
        return std::nullopt;
    std::optional<HandsetSource> source = Handsets(handsets);
    if (!source)
        return std::nullopt;
    return PdaDownloadChoice{std::move(*fileBytes), *targetChoice, std::move(*source)};
}

std::optional<ModemPort> OptionReader::Modem(const ModemPortOptions& options) const {
    if (parser_.isSet(options.port) && parser_.isSet(options.pattern)) {
        Complain("give --port or --port-pattern, not both");
        return std::nullopt;
    }
    return ModemPort{parser_.value(options.library), parser_.value(options.port),
                     parser_.value(options.pattern)};
}

std::optional<OutputChoice> OptionReader::Output(const OutputOptions& options,
                                                 OutputMix mix) const {
    const OutputChoice choice{parser_.isSet(options.trace), parser_.isSet(options.json)};
    if (mix == OutputMix::OneOnly && choice.trace && choice.json) {
        Complain("give --trace or --json, not both");
        return std::nullopt;
    }
    return choice;
}

std::optional<std::chrono::seconds> OptionReader::Seconds(const QCommandLineOption& option) const {
    bool ok = false;
    const int seconds = parser_.value(option).toInt(&ok);
    if (ok && seconds >= 0)
        return std::chrono::seconds(seconds);
    Complain(OptionName(option) + " takes a number of seconds");
    return std::nullopt;
}

std::optional<int> OptionReader::Count(const QCommandLineOption& option, int unset,
                                       RangeWords range, int base) const {
    if (!parser_.isSet(option) && option.defaultValues().isEmpty())
        return unset;
    bool ok = false;
    const int number = parser_.value(option).toInt(&ok, base);
    if (ok && number >= 0)
        return number;
    Complain(OptionName(option) + " takes a number" +
             (range == RangeWords::Shown ? " from 0 on" : ""));
    return std::nullopt;
}

} // namespace marlow::cli
