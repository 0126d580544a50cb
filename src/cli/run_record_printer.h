#pragma once
// Run records as `marlow-cli runs` shows them: text that fits a terminal,
// one JSON object a line, and CSV with stable columns (README: "The run
// store"; the CSV is records::RecordsCsv). The queries are the store's;
// this only words their answers.

#include "records/outbox.h"
#include "records/run_queries.h"

#include <QJsonObject>
#include <string>
#include <vector>

namespace marlow::cli {

// "1b2c3d4e  2024-05-01 13:02:11  1:23.4  passed  1-2.3  SN7  NK.bin" a line
// under a heading; times in local time. Runs of more than one station (the
// central database's) name their station too.
std::string RecordListText(const std::vector<records::RunRecord>& runs);
// The whole record: facts, inputs, steps, stamp.
std::string RecordText(const records::RunRecord& run);
// The record's facts with its inputs (and steps); times as UTC milliseconds
// and ISO 8601 text.
QJsonObject RecordJson(const records::RunRecord& run);

// By slot, the slots of more than one station read "station/slot".
std::string YieldText(const std::vector<records::YieldRow>& rows, records::YieldBy by);
// A row a group (by slot with its "station"), then the total with
// "total": true.
std::vector<QJsonObject> YieldJson(const std::vector<records::YieldRow>& rows, records::YieldBy by);

// The outbox: what waits for the central database (named by `central`,
// masked; empty when none is set), what went, the last error.
std::string OutboxText(const records::OutboxState& outbox, const std::string& central);
QJsonObject OutboxJson(const records::OutboxState& outbox, const std::string& central);

std::string CheckText(const records::StoreCheck& check);
QJsonObject CheckJson(const records::StoreCheck& check);

} // namespace marlow::cli
