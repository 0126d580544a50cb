// marlow-cli stamp insert|verify: the model/version trailer.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/run_recording.h"
#include "cli/shared_options.h"
#include "common/printable_text.h"
#include "records/run_writer.h"
#include "records/stamp_record.h"
#include "stamp/stamp_operations.h"

#include <QCommandLineParser>

namespace marlow::cli {
namespace {

// The typing check the stamp dialog runs on every keystroke; here it guards
// the whole value once, with the same texts.
bool CheckField(stamp::StampField field, const std::string& text) {
    if (const auto problem = stamp::CheckTyping(field, text)) {
        Err(problem->message + "\n");
        Err("  " + text + "\n  " + std::string(problem->index, ' ') + "^ replace this character\n");
        return false;
    }
    return true;
}

int RunInsert(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Appends the 20-byte model/version trailer to FILE. Model: at most 14 characters, "
        "version: at most 4, from - . / 0-9 : ; a-z A-Y.");
    parser.addOption({"model", "Model name.", "M"});
    parser.addOption({"version", "Version.", "V"});
    const QCommandLineOption runStore = RunStoreOption();
    parser.addOption(runStore);
    parser.addPositionalArgument("FILE", "Image or list file to stamp (.bin, .nb0, .lst).");
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode, {.positionals = 1}))
        return exitCode;
    if (parser.positionalArguments().size() != 1 || !parser.isSet("model") ||
        !parser.isSet("version")) {
        Err("marlow-cli stamp insert: give FILE, --model and --version (see --help)\n");
        return kExitUsage;
    }
    const std::string model = parser.value("model").toStdString();
    const std::string version = parser.value("version").toStdString();
    if (!CheckField(stamp::StampField::Model, model) ||
        !CheckField(stamp::StampField::Version, version))
        return kExitUsage;
    const std::string command = args[0].toStdString();
    const std::optional<CommandRecording> recording =
        CommandRecording::Open(OptionReader(parser, command), runStore, command, &exitCode);
    if (!recording)
        return exitCode;
    const std::string path = ArgumentBytes(parser.positionalArguments()[0]);
    std::optional<records::StampRecording> record;
    if (auto run = recording->Begin({.kind = "stamp"}))
        record.emplace(std::move(run), path);
    const stamp::TrailerWrite result = stamp::InsertStamp(path, model, version);
    const bool stamped = result.status == stamp::TrailerStatus::Ok;
    if (stamped)
        Err("stamped " + Printable(path) + ": model " + model + ", version " + version + "\n");
    else
        Err("marlow-cli stamp insert: " + result.error + "\n");
    const int jobCode = stamped                                               ? kExitOk
                        : result.status == stamp::TrailerStatus::FieldTooLong ? kExitUsage
                                                                              : kExitFailed;
    if (!record)
        return jobCode;
    return recording->Finished(
        record->Finish(model, version, stamped ? Status{} : Status{Failure{result.error}}), jobCode,
        false);
}

int RunVerify(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows the model and version FILE carries (NONE for a list without a trailer).");
    parser.addOption({"json", "Print one JSON object."});
    parser.addPositionalArgument("FILE", "Stamped file.");
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode, {.positionals = 1}))
        return exitCode;
    if (parser.positionalArguments().size() != 1) {
        Err("marlow-cli stamp verify: give exactly one FILE (see --help)\n");
        return kExitUsage;
    }
    const std::string path = ArgumentBytes(parser.positionalArguments()[0]);
    const Result<stamp::Stamp> result = stamp::VerifyStamp(path);
    if (!result) {
        Err("marlow-cli stamp verify: " + result.Error() + "\n");
        return kExitBadInput;
    }
    if (parser.isSet("json")) {
        QJsonObject o;
        o["file"] = QString::fromStdString(path);
        o["model"] = QString::fromStdString(result->model);
        o["version"] = QString::fromStdString(result->version);
        OutJsonLine(o);
    } else {
        // A file without a stamp shows whatever its last bytes hold.
        Out("model   " + Printable(result->model) + "\nversion " + Printable(result->version) +
            "\n");
    }
    return kExitOk;
}

// `stamp` alone or with a word that is no subcommand is a usage error, told
// on stderr; the usage is asked for only with --help.
int RunStampHelp(const QStringList& args) {
    const std::string usage = "Usage: marlow-cli stamp insert FILE --model M --version V\n"
                              "       marlow-cli stamp verify FILE [--json]\n";
    const QString first = args.value(1);
    if (first == "--help" || first == "-h") {
        Out(usage);
        return kExitOk;
    }
    if (!first.isNull())
        Err("marlow-cli stamp: unknown subcommand '" + ArgumentBytes(first) + "'\n");
    Err(usage);
    return kExitUsage;
}

CommandRegistrar insertReg({"stamp insert", "append a model/version trailer to a file", RunInsert});
CommandRegistrar verifyReg({"stamp verify", "show the model/version a file carries", RunVerify});
CommandRegistrar stampReg({"stamp", "stamp insert | stamp verify (see their --help)",
                           RunStampHelp});

} // namespace
} // namespace marlow::cli
