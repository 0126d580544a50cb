#pragma once
// A record's words that every reader of the store shares (marlow-cli runs,
// the main window's Run History): how a run ended as one line, a time as
// UTC text, and the CSV export with its stable columns (README: "The run
// store").

#include "records/record.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlow::records {

// "failed (device, phone half): Boot Failed"
std::string EndingText(const RunEnding& ending);

// "2024-05-01T13:02:11.250Z"
std::string UtcText(std::int64_t ms);

// The CSV columns, then a row a record, lines ending in CR LF.
std::string RecordsCsv(const std::vector<RunRecord>& runs);

} // namespace marlow::records
