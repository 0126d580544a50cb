#pragma once
// marlow-cli's commands register themselves here, one file per command
// (cmd_<name>.cpp), so adding a command never touches a shared table.
//
// Output rules every command keeps: stdout carries only the requested text
// (trace, log or JSON); progress bars, message-box texts and diagnostics go
// to stderr; the exit code is 0 only when the job really succeeded.

#include <QStringList>
#include <functional>
#include <string>
#include <vector>

namespace marlow::cli {

struct Command {
    std::string name;    // "info", or two words such as "emulate uart"
    std::string summary; // one line for the command list
    // args[0] is "marlow-cli <name>", the rest are the command's own arguments.
    std::function<int(const QStringList& args)> run;
};

class CommandRegistry {
public:
    static void Add(Command command);
    static const std::vector<Command>& All();
    static const Command* Find(const std::string& name);
};

struct CommandRegistrar {
    explicit CommandRegistrar(Command command) { CommandRegistry::Add(std::move(command)); }
};

// Exit codes shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // the job ran and failed
inline constexpr int kExitUsage = 2;    // bad arguments
inline constexpr int kExitBadInput = 3; // unreadable or malformed input file
inline constexpr int kExitTimedOut = 4; // the run showed no progress for --timeout seconds
// The job succeeded, but its run is not recorded in the run store.
inline constexpr int kExitNotRecorded = 5;
// Stopped by a signal: 128 + the signal (StopSignal::ExitCode), so 130 for
// Ctrl-C, 143 for SIGTERM, 129 for SIGHUP.
inline constexpr int kExitStopped = 130;

} // namespace marlow::cli
