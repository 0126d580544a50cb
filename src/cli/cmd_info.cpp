// marlow-cli info FILE: the File Information and Image Information blocks,
// exactly as the File Information Window shows them.

#include "app/file_information.h"
#include "app/trace_printer.h"
#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "common/printable_text.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <ctime>

namespace marlow::cli {
namespace {

QJsonObject FactsJson(const std::string& path, const Result<app::FileFacts>& facts) {
    QJsonObject o;
    o["file"] = QString::fromStdString(path);
    o["found"] = facts.Ok();
    if (!facts)
        return o;
    o["fullPathName"] = QString::fromStdString(facts->fullPathName);
    o["size"] = static_cast<qint64>(facts->size);
    char when[64];
    std::tm tm = facts->modifiedLocal;
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    o["modified"] = when;
    const stamp::Stamp shown = app::DisplayedStamp(*facts);
    o["model"] = QString::fromStdString(shown.model);
    o["version"] = QString::fromStdString(shown.version);
    const auto& h = facts->head;
    auto le32 = [&h](std::size_t at) {
        return static_cast<qint64>(static_cast<std::uint32_t>(h[at]) | h[at + 1] << 8 |
                                   h[at + 2] << 16 | static_cast<std::uint32_t>(h[at + 3]) << 24);
    };
    o["startAddress"] = le32(7);
    o["imageLength"] = le32(11);
    if (facts->endRecord) {
        const auto& e = *facts->endRecord;
        o["launchAddress"] =
            static_cast<qint64>(static_cast<std::uint32_t>(e[4]) | e[5] << 8 | e[6] << 16 |
                                static_cast<std::uint32_t>(e[7]) << 24);
    } else {
        o["launchAddress"] = 0;
    }
    return o;
}

int RunInfo(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows the File Information and Image Information blocks of FILE exactly as the "
        "File Information Window would (line ends as LF unless --crlf). A message box "
        "text goes to stderr.");
    parser.addOption({"json", "Print the same facts as one JSON object."});
    parser.addOption({"crlf", "Keep the window's CR LF line ends."});
    parser.addPositionalArgument("FILE", "The download file (.bin or .lst).");
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode, {.positionals = 1}))
        return exitCode;
    if (parser.positionalArguments().size() != 1) {
        Err("marlow-cli info: give exactly one FILE (see --help)\n");
        return kExitUsage;
    }
    const std::string path = ArgumentBytes(parser.positionalArguments()[0]);
    const Result<app::FileFacts> facts = app::ReadFileFacts(path);
    const app::FileInformationBlock block = app::ShowFileInformation(facts);
    if (block.messageBox)
        Err(*block.messageBox + "\n");

    if (parser.isSet("json")) {
        QJsonObject o = FactsJson(path, facts);
        if (block.messageBox)
            o["messageBox"] = QString::fromStdString(*block.messageBox);
        OutJsonLine(o);
    } else {
        app::TracePrinter printer;
        app::StringTarget window;
        if (block.clearWindowFirst)
            printer.ClearMessageWindow(window);
        for (const std::string& text : block.prints)
            printer.WritePrint(window, std::string_view(text));
        for (const std::string& text : app::ShowImageInformation(facts))
            printer.WritePrint(window, std::string_view(text));
        std::string shown = window.Text();
        if (!parser.isSet("crlf"))
            shown = CrLfToLf(shown);
        Out(shown + "\n");
    }
    if (!facts) {
        Err("marlow-cli info: cannot open " + Printable(path) + ": " + facts.Error() + "\n");
        return kExitBadInput;
    }
    return block.messageBox ? kExitBadInput : kExitOk;
}

CommandRegistrar reg({"info", "show the File Information and Image Information blocks", RunInfo});

} // namespace
} // namespace marlow::cli
