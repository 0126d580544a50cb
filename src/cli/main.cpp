// marlow-cli: the headless face of Marlow for test engineers, scripts and CI.

#include "cli/arguments.h"
#include "cli/cli_log.h"
#include "cli/command_registry.h"
#include "cli/output.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <algorithm>
#include <csignal>
#include <cstdio>

using marlow::cli::Command;
using marlow::cli::CommandRegistry;

namespace {

void PrintUsage(std::FILE* to) {
    std::fprintf(to, "Usage: marlow-cli <command> [options]\n\nCommands:\n");
    std::vector<const Command*> sorted;
    for (const Command& c : CommandRegistry::All())
        sorted.push_back(&c);
    std::sort(sorted.begin(), sorted.end(),
              [](const Command* a, const Command* b) { return a->name < b->name; });
    for (const Command* c : sorted)
        std::fprintf(to, "  %-16s %s\n", c->name.c_str(), c->summary.c_str());
    std::fprintf(to, "\nRun 'marlow-cli <command> --help' for a command's options.\n");
}

// `--verbose`, wherever it stands, turns every marlow.* log channel on (to
// stderr) and is taken out before the command reads its options.
// QT_LOGGING_RULES still has the last word.
QStringList WithoutVerbose(QStringList args) {
    if (args.removeAll(QStringLiteral("--verbose")) > 0)
        QLoggingCategory::setFilterRules(QStringLiteral("marlow.*.debug=true"));
    return args;
}

// The log channels leave through the same door as every other text, so a
// device path or a library's text in a log line is escaped too.
void WriteLogLine(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    marlow::cli::Err(qFormatLogMessage(type, context, message).toStdString() + "\n");
}

} // namespace

int main(int argc, char** argv) {
    // A closed stdout is a stop (see output.h), not a sudden death.
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(WriteLogLine);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("marlow-cli");
    QCoreApplication::setOrganizationName("Korvane");
    QCoreApplication::setApplicationVersion(MARLOW_VERSION);

    // Not QCoreApplication::arguments(): its decoding loses the bytes of a
    // file name that is not valid UTF-8.
    const QStringList args = WithoutVerbose(marlow::cli::DecodedArguments(argc, argv));
    if (args.size() < 2 || args[1] == "--help" || args[1] == "-h" || args[1] == "help") {
        PrintUsage(args.size() < 2 ? stderr : stdout);
        return args.size() < 2 ? marlow::cli::kExitUsage : marlow::cli::kExitOk;
    }
    if (args[1] == "--version") {
        std::printf("marlow-cli %s\n", MARLOW_VERSION);
        return 0;
    }

    // Two-word commands ("emulate uart") win over one-word ones.
    const Command* command = nullptr;
    int consumed = 1;
    if (args.size() >= 3)
        command = CommandRegistry::Find((args[1] + " " + args[2]).toStdString());
    if (command != nullptr)
        consumed = 2;
    else
        command = CommandRegistry::Find(args[1].toStdString());
    if (command == nullptr) {
        marlow::cli::Err("marlow-cli: unknown command '" + marlow::cli::ArgumentBytes(args[1]) +
                         "'\n\n");
        PrintUsage(stderr);
        return marlow::cli::kExitUsage;
    }

    QStringList commandArgs;
    commandArgs << QStringLiteral("marlow-cli ") + QString::fromStdString(command->name);
    commandArgs << args.mid(1 + consumed);
    qCDebug(marlow::cli::lcCli).noquote() << "running" << commandArgs.join(' ');
    const int exitCode = command->run(commandArgs);
    qCDebug(marlow::cli::lcCli) << "exit code" << exitCode;
    return exitCode;
}
