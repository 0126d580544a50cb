// marlow-cli runs report --html FILE: the runs that match the filters as one
// HTML page for people (yield per slot and over time, step times per slot,
// the runs that did not pass), from the station's store or, with
// --central, from every station's records. The page is written whole or
// not at all. Exit 0 with the page written (one that says there is nothing
// to report when no run matches); 2 bad arguments; 3 the records cannot be
// opened or FILE cannot be written; 1 a query failed.

#include "cli/output.h"
#include "cli/record_source.h"
#include "report/html_report.h"
#include "uartloader/log_file.h"

#include <QDateTime>

namespace marlow::cli {
namespace {

int RunReport(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes the runs that match the filters as one HTML page that needs no network: "
        "first-pass yield per slot and per hour, step times per slot, the runs that did not "
        "pass and why.");
    const QCommandLineOption html("html", "The page to write (made, or replaced whole).", "FILE");
    parser.addOption(html);
    RunsCommand command(args, parser, true);
    int exitCode = kExitOk;
    const auto source = command.Begin(&exitCode, 0, [&] {
        return parser.isSet(html) ? std::string() : std::string("give --html FILE");
    });
    if (!source)
        return exitCode;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const auto data =
        Answer(command, report::GatherReport(source->Session(), command.Filter(), zone), &exitCode);
    if (!data)
        return exitCode;
    const std::string page = report::HtmlReport(
        *data,
        {.zone = zone, .madeMs = QDateTime::currentMSecsSinceEpoch(), .version = MARLOW_VERSION});
    const std::string path = parser.value(html).toStdString();
    // The loader log's save serves any page: whole or nothing, never into a
    // pipe or a device.
    std::string why;
    if (uartloader::SaveLogFile(path, page, &why) != uartloader::LogSave::Saved) {
        command.Complain("cannot write the report to " + path + ": " + why +
                         "; choose a --html path in a folder you may write to");
        return kExitBadInput;
    }
    std::int64_t runs = 0;
    for (const records::StationSpan& span : data->stations)
        runs += span.runs;
    if (command.Json())
        OutJsonLine(QJsonObject{{"html", QString::fromStdString(path)},
                                {"runs", static_cast<qint64>(runs)},
                                {"stations", static_cast<qint64>(data->stations.size())}});
    else
        Out("the report of " + std::to_string(runs) + (runs == 1 ? " run" : " runs") + " is in " +
            path + "\n");
    return kExitOk;
}

CommandRegistrar report({"runs report", "write the recorded runs as an HTML page", RunReport});

} // namespace
} // namespace marlow::cli
