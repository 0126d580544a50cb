#pragma once
// What a command left in its run store, one line a record, oldest first, for
// tables to expect: "verdict/error class/half slot: kind name outcome, ...".

#include "records/run_queries.h"
#include "records/store.h"

#include <filesystem>
#include <string>
#include <vector>

namespace marlow::test {

// None when there is no store yet.
inline std::vector<std::string> RecordedRuns(const std::string& storePath) {
    using namespace marlow::records;
    if (!std::filesystem::exists(storePath))
        return {};
    const auto store = RunStore::Open({.path = storePath, .access = StoreAccess::Query});
    if (!store)
        return {store.Error()};
    const Result<std::vector<RunRecord>> runs = FindRuns((*store)->Session(), {}, Detail::Steps);
    if (!runs)
        return {runs.Error()};
    std::vector<std::string> lines;
    for (const RunRecord& run : *runs) {
        std::string line = std::string(NameOf(run.ending.verdict)) + "/" +
                           NameOf(run.ending.errorClass) + "/" + NameOf(run.ending.half) + " " +
                           run.facts.slot + ":";
        for (const StepFacts& step : run.steps)
            line += " " + step.kind + " " + step.name + " " + step.outcome + ",";
        lines.push_back(line);
    }
    return lines;
}

// The last record's line; "" when the store holds none.
inline std::string LastRecordedRun(const std::string& storePath) {
    const std::vector<std::string> runs = RecordedRuns(storePath);
    return runs.empty() ? std::string() : runs.back();
}

} // namespace marlow::test
