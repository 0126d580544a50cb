#pragma once
// What a command left in its run store, one line a record, oldest first, for
// tables to expect: "verdict/error class/half slot: kind name outcome, ...";
// none when there is no store yet.

#include "common/sha256.h"
#include "records/run_queries.h"
#include "records/store.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace marlow::test {

inline std::vector<std::string> RecordedRuns(const std::string& storePath) {
    using namespace marlow::records;
    const auto store = RunStore::Open({.path = storePath, .access = StoreAccess::Query});
    const auto runs = store ? FindRuns((*store)->Session(), {}, Detail::Steps)
                            : Result<std::vector<RunRecord>>(Failure{store.Error()});
    if (!runs)
        return std::filesystem::exists(storePath) ? std::vector{runs.Error()}
                                                  : std::vector<std::string>{};
    std::vector<std::string> lines;
    for (const RunRecord& run : *runs) {
        lines.push_back(std::string(NameOf(run.ending.verdict)) + "/" +
                        NameOf(run.ending.errorClass) + "/" + NameOf(run.ending.half) + " " +
                        run.facts.slot + ":");
        for (const StepFacts& step : run.steps)
            lines.back() += " " + step.kind + " " + step.name + " " + step.outcome + ",";
    }
    return lines;
}

inline std::string LastRecordedRun(const std::string& storePath) {
    const std::vector<std::string> runs = RecordedRuns(storePath);
    return runs.empty() ? std::string() : runs.back();
}

// The last record's id, and its front end, kind, RecordedRuns line, files
// ("image ok": the digest is the file's now), modem port and the handset's
// serial number, as one line.
inline std::pair<std::string, std::string> LastRecordWithFiles(const std::string& storePath) {
    using namespace marlow::records;
    const auto store = RunStore::Open({.path = storePath, .access = StoreAccess::Query});
    const auto runs = store ? FindRuns((*store)->Session(), {}, Detail::Steps)
                            : Result<std::vector<RunRecord>>(Failure{store.Error()});
    if (!runs || runs->empty())
        return {"", runs ? "no record" : runs.Error()};
    const RunRecord& run = runs->back();
    std::string line = run.facts.frontEnd + " " + run.facts.kind + " " + LastRecordedRun(storePath);
    for (const InputFacts& input : run.inputs) {
        const Result<FileDigest> now = DigestOfFile(input.path);
        line += " " + input.role + (now && now->sha256 == input.sha256 ? " ok" : " changed");
    }
    if (!run.facts.handset.modemPort.empty())
        line += " modem " + run.facts.handset.modemPort;
    if (!run.facts.handset.serialNumber.empty())
        line += " serial " + run.facts.handset.serialNumber;
    return {run.facts.runId, line};
}

} // namespace marlow::test
