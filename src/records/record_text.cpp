#include "records/record_text.h"

#include <QDateTime>

namespace marlow::records {

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::string EndingText(const RunEnding& ending) {
    std::string text = NameOf(ending.verdict);
    const std::string cause = NameOf(ending.errorClass);
    const std::string half = NameOf(ending.half);
    if (!cause.empty() || !half.empty())
        text += " (" + cause + (cause.empty() || half.empty() ? "" : ", ") +
                (half.empty() ? "" : half + " half") + ")";
    if (!ending.reason.empty())
        text += ": " + ending.reason;
    return text;
}

std::string UtcText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs).toStdString();
}

std::string RecordsCsv(const std::vector<RunRecord>& runs) {
    std::string csv = "run_id,station_id,slot,front_end,operator,marlow_version,kind,usb_path,"
                      "serial_number,modem_port,started_utc,ended_utc,duration_ms,verdict,reason,"
                      "error_class,failed_half,file,file_sha256,inputs,steps\r\n";
    for (const RunRecord& run : runs) {
        const RunFacts& f = run.facts;
        const std::optional<std::int64_t>& ended = run.ending.endedMs;
        const std::vector<std::string> fields = {f.runId,
                                                 f.stationId,
                                                 f.slot,
                                                 f.frontEnd,
                                                 f.operatorName,
                                                 f.marlowVersion,
                                                 f.kind,
                                                 f.handset.usbPath,
                                                 f.handset.serialNumber,
                                                 f.handset.modemPort,
                                                 UtcText(f.startedMs),
                                                 ended ? UtcText(*ended) : "",
                                                 ended ? std::to_string(*ended - f.startedMs) : "",
                                                 NameOf(run.ending.verdict),
                                                 run.ending.reason,
                                                 NameOf(run.ending.errorClass),
                                                 NameOf(run.ending.half),
                                                 run.inputs.empty() ? "" : run.inputs.front().path,
                                                 run.inputs.empty() ? ""
                                                                    : run.inputs.front().sha256,
                                                 std::to_string(run.inputs.size()),
                                                 std::to_string(run.steps.size())};
        for (std::size_t i = 0; i < fields.size(); ++i)
            csv += (i > 0 ? "," : "") + CsvField(fields[i]);
        csv += "\r\n";
    }
    return csv;
}

} // namespace marlow::records
