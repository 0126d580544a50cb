#include "cli/run_record_printer.h"

#include "records/record_text.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cstdio>

namespace marlow::cli {

using records::RunRecord;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string LocalText(std::int64_t ms, const char* format = "yyyy-MM-dd HH:mm:ss") {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QString::fromUtf8(format)).toStdString();
}

// "1:23.4", "12.0 s"; "-" while it runs.
std::string Took(std::int64_t from, const std::optional<std::int64_t>& to) {
    if (!to)
        return "-";
    const std::int64_t tenths = (*to - from) / 100;
    char text[32];
    if (tenths < 600)
        std::snprintf(text, sizeof text, "%lld.%lld s", static_cast<long long>(tenths / 10),
                      static_cast<long long>(tenths % 10));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                      static_cast<long long>(tenths / 10 % 60),
                      static_cast<long long>(tenths % 10));
    return text;
}

std::string Cut(const std::string& text, std::size_t width) {
    return text.size() <= width ? text : text.substr(0, width - 1) + "~";
}

std::string FileName(const RunRecord& run) {
    return run.inputs.empty() ? std::string("-")
                              : QFileInfo(Q(run.inputs.front().path)).fileName().toStdString();
}

QJsonValue Number(const std::optional<std::int64_t>& number) {
    return number ? QJsonValue(static_cast<qint64>(*number)) : QJsonValue();
}

std::string Percent(int part, int whole) {
    if (whole == 0)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * part / whole);
    return text;
}

double Share(int part, int whole) {
    return whole == 0 ? 0.0 : static_cast<double>(part) / whole;
}

const char* ByName(records::YieldBy by) {
    switch (by) {
    case records::YieldBy::Slot:
        return "slot";
    case records::YieldBy::Digest:
        return "digest";
    case records::YieldBy::Hour:
        return "hour";
    case records::YieldBy::Day:
        return "day";
    }
    return "slot";
}

} // namespace

std::string RecordListText(const std::vector<RunRecord>& runs) {
    const bool stations = std::any_of(runs.begin(), runs.end(), [&](const RunRecord& run) {
        return run.facts.stationId != runs.front().facts.stationId;
    });
    std::string text = std::string(stations ? "STATION     " : "") +
                       "ID        STARTED              TOOK      VERDICT         SLOT        "
                       "SERIAL      FILE\n";
    for (const RunRecord& run : runs) {
        char line[512];
        std::snprintf(line, sizeof line, "%-8s  %-19s  %-8s  %-14s  %-10s  %-10s  %s\n",
                      run.facts.runId.substr(0, 8).c_str(), LocalText(run.facts.startedMs).c_str(),
                      Took(run.facts.startedMs, run.ending.endedMs).c_str(),
                      records::NameOf(run.ending.verdict), Cut(run.facts.slot, 10).c_str(),
                      Cut(run.facts.handset.serialNumber, 10).c_str(), FileName(run).c_str());
        if (stations) {
            char station[16];
            std::snprintf(station, sizeof station, "%-10s  ", Cut(run.facts.stationId, 10).c_str());
            text += station;
        }
        text += line;
    }
    return text;
}

std::string RecordText(const RunRecord& run) {
    const records::RunFacts& f = run.facts;
    std::string text = "run        " + f.runId + "\n";
    text += "station    " + f.stationId + ", slot " + (f.slot.empty() ? "-" : f.slot) + ", " +
            f.frontEnd + " (" + f.kind + ")\n";
    text += "operator   " + f.operatorName + ", Marlow " + f.marlowVersion + "\n";
    text += "handset    usb " + (f.handset.usbPath.empty() ? "-" : f.handset.usbPath) +
            ", serial " + (f.handset.serialNumber.empty() ? "-" : f.handset.serialNumber) +
            ", modem port " + (f.handset.modemPort.empty() ? "-" : f.handset.modemPort) + "\n";
    text += "started    " + LocalText(f.startedMs) + ", took " +
            Took(f.startedMs, run.ending.endedMs) + "\n";
    text += "verdict    " + records::EndingText(run.ending) + "\n";
    if (!run.inputs.empty())
        text += "inputs\n";
    for (const records::InputFacts& input : run.inputs) {
        text +=
            "  " + input.role + "  " + input.path + "\n    " +
            (input.size ? std::to_string(*input.size) + " bytes" : std::string("size unknown")) +
            ", sha256 " + (input.sha256.empty() ? "-" : input.sha256);
        if (!input.model.empty() || !input.version.empty())
            text += ", model " + input.model + ", version " + input.version;
        if (!input.source.empty())
            text += ", from " + input.source;
        text += "\n";
    }
    if (!run.steps.empty())
        text += "steps\n";
    for (std::size_t i = 0; i < run.steps.size(); ++i) {
        const records::StepFacts& step = run.steps[i];
        char line[512];
        std::snprintf(line, sizeof line, "  %2zu %-10s %-20s %s  %-8s %-8s", i + 1,
                      step.kind.c_str(), Cut(step.name, 20).c_str(),
                      LocalText(step.startedMs, "HH:mm:ss.zzz").c_str(),
                      Took(step.startedMs, step.endedMs).c_str(), step.outcome.c_str());
        text += line;
        if (step.bytes)
            text += "  " + std::to_string(*step.bytes) + " bytes";
        if (step.retries > 0)
            text += "  " + std::to_string(step.retries) + " retries";
        text += "\n";
    }
    if (run.stamp)
        text += "stamp      " + run.stamp->file + ": model " + run.stamp->model + ", version " +
                run.stamp->version + "\n           sha256 " + run.stamp->digestBefore + " -> " +
                run.stamp->digestAfter + "\n";
    return text;
}

QJsonObject RecordJson(const RunRecord& run) {
    const records::RunFacts& f = run.facts;
    QJsonObject o;
    o["runId"] = Q(f.runId);
    o["stationId"] = Q(f.stationId);
    o["slot"] = Q(f.slot);
    o["frontEnd"] = Q(f.frontEnd);
    o["operator"] = Q(f.operatorName);
    o["marlowVersion"] = Q(f.marlowVersion);
    o["kind"] = Q(f.kind);
    o["usbPath"] = Q(f.handset.usbPath);
    o["serialNumber"] = Q(f.handset.serialNumber);
    o["modemPort"] = Q(f.handset.modemPort);
    o["startedMs"] = static_cast<qint64>(f.startedMs);
    o["started"] = Q(records::UtcText(f.startedMs));
    o["endedMs"] = Number(run.ending.endedMs);
    o["verdict"] = records::NameOf(run.ending.verdict);
    o["reason"] = Q(run.ending.reason);
    o["errorClass"] = records::NameOf(run.ending.errorClass);
    o["failedHalf"] = records::NameOf(run.ending.half);
    QJsonArray inputs;
    for (const records::InputFacts& input : run.inputs)
        inputs.append(QJsonObject{{"role", Q(input.role)},
                                  {"path", Q(input.path)},
                                  {"size", Number(input.size)},
                                  {"sha256", Q(input.sha256)},
                                  {"model", Q(input.model)},
                                  {"version", Q(input.version)},
                                  {"source", Q(input.source)}});
    o["inputs"] = inputs;
    QJsonArray steps;
    for (const records::StepFacts& step : run.steps)
        steps.append(QJsonObject{{"kind", Q(step.kind)},
                                 {"name", Q(step.name)},
                                 {"startedMs", static_cast<qint64>(step.startedMs)},
                                 {"endedMs", Number(step.endedMs)},
                                 {"bytes", Number(step.bytes)},
                                 {"retries", step.retries},
                                 {"outcome", Q(step.outcome)}});
    if (!run.steps.empty())
        o["steps"] = steps;
    if (run.stamp)
        o["stamp"] = QJsonObject{{"file", Q(run.stamp->file)},
                                 {"digestBefore", Q(run.stamp->digestBefore)},
                                 {"digestAfter", Q(run.stamp->digestAfter)},
                                 {"model", Q(run.stamp->model)},
                                 {"version", Q(run.stamp->version)}};
    return o;
}

std::string YieldText(const std::vector<records::YieldRow>& rows, records::YieldBy by) {
    char line[256];
    std::snprintf(line, sizeof line, "%-18s %6s %6s %7s %8s %7s %6s\n", ByName(by), "UNITS",
                  "FIRST", "YIELD", "RETESTS", "RATE", "RUNS");
    std::string text = line;
    const bool stations = std::any_of(rows.begin(), rows.end(), [&](const records::YieldRow& row) {
        return row.station != rows.front().station;
    });
    std::vector<records::YieldRow> shown = rows;
    shown.push_back(records::YieldTotal(rows));
    for (records::YieldRow& row : shown) {
        if (stations && &row != &shown.back())
            row.group = row.station + "/" + row.group;
        std::snprintf(line, sizeof line, "%-18s %6d %6d %7s %8d %7s %6d\n",
                      Cut(row.group.empty() ? "-" : row.group, 18).c_str(), row.units,
                      row.firstPass, Percent(row.firstPass, row.units).c_str(), row.retested,
                      Percent(row.retested, row.units).c_str(), row.runs);
        text += line;
    }
    return text;
}

std::vector<QJsonObject> YieldJson(const std::vector<records::YieldRow>& rows,
                                   records::YieldBy by) {
    std::vector<QJsonObject> lines;
    const auto add = [&](const records::YieldRow& row, bool total) {
        QJsonObject o{{"by", ByName(by)},
                      {"group", Q(row.group)},
                      {"units", row.units},
                      {"firstPass", row.firstPass},
                      {"firstPassYield", Share(row.firstPass, row.units)},
                      {"retested", row.retested},
                      {"retestRate", Share(row.retested, row.units)},
                      {"runs", row.runs}};
        if (total)
            o["total"] = true;
        else if (by == records::YieldBy::Slot)
            o["station"] = Q(row.station);
        lines.push_back(o);
    };
    for (const records::YieldRow& row : rows)
        add(row, false);
    add(records::YieldTotal(rows), true);
    return lines;
}

std::string OutboxText(const records::OutboxState& outbox, const std::string& central) {
    const auto at = [](const std::optional<std::int64_t>& ms) {
        return ms ? LocalText(*ms) : std::string("never");
    };
    std::string text =
        "central database  " +
        (central.empty() ? std::string("none named (the setting CentralDatabase)") : central) +
        "\n";
    text += "waiting           " + std::to_string(outbox.backlog) + " records";
    if (outbox.oldestEndedMs)
        text += ", the oldest finished " + at(outbox.oldestEndedMs);
    text += "\nforwarded         " + std::to_string(outbox.forwarded) + " records, the last " +
            at(outbox.lastForwardedMs) + "\n";
    text += "last error        " +
            (outbox.lastError.empty() ? std::string("none")
                                      : at(outbox.lastErrorMs) + ": " + outbox.lastError) +
            "\n";
    return text;
}

QJsonObject OutboxJson(const records::OutboxState& outbox, const std::string& central) {
    return {{"central", Q(central)},
            {"backlog", static_cast<qint64>(outbox.backlog)},
            {"oldestEndedMs", Number(outbox.oldestEndedMs)},
            {"forwarded", static_cast<qint64>(outbox.forwarded)},
            {"lastForwardedMs", Number(outbox.lastForwardedMs)},
            {"lastError", Q(outbox.lastError)},
            {"lastErrorMs", Number(outbox.lastErrorMs)}};
}

std::string CheckText(const records::StoreCheck& check) {
    std::string text = "schema version " + std::to_string(check.schemaVersion) + ", " +
                       std::to_string(check.runs) + " records (" + std::to_string(check.running) +
                       " running, " + std::to_string(check.interrupted) + " interrupted)\n";
    for (const std::string& problem : check.problems)
        text += "problem: " + problem + "\n";
    text += check.problems.empty() ? "the store is sound\n" : "the store is damaged\n";
    return text;
}

QJsonObject CheckJson(const records::StoreCheck& check) {
    QJsonArray problems;
    for (const std::string& problem : check.problems)
        problems.append(Q(problem));
    return {{"schemaVersion", check.schemaVersion},
            {"runs", static_cast<qint64>(check.runs)},
            {"running", static_cast<qint64>(check.running)},
            {"interrupted", static_cast<qint64>(check.interrupted)},
            {"problems", problems},
            {"sound", check.problems.empty()}};
}

} // namespace marlow::cli
