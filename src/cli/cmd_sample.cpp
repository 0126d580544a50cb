// marlow-cli sample DIR: writes the built-in sample set.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "emulators/sample_set.h"

#include <QCommandLineParser>

namespace marlow::cli {
namespace {

int RunSample(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a small valid sample set into DIR: boot images (one stamped), the list "
        "quill_all.lst with a phone group, the phone package Phone.brx with its four files, "
        "the STM list Brix.stm with its partition files and the loader settings loader.mfl.");
    parser.addPositionalArgument("DIR", "Folder to write into (created if missing).");
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode, {.positionals = 1}))
        return exitCode;
    if (parser.positionalArguments().size() != 1) {
        Err("marlow-cli sample: give exactly one DIR (see --help)\n");
        return kExitUsage;
    }
    const auto set = samples::WriteSampleSet(ArgumentBytes(parser.positionalArguments()[0]));
    if (!set) {
        Err("marlow-cli sample: " + set.Error() + "\n");
        return kExitFailed;
    }
    Err("sample set written to " + set->folder + "\n");
    return kExitOk;
}

CommandRegistrar reg({"sample", "write the built-in sample set into a folder", RunSample});

} // namespace
} // namespace marlow::cli
