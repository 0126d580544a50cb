#pragma once
// An event's fields by stable name, for the one line a person reads
// (DescribeEvent) and the one JSON object a machine reads (`--json`). Each
// engine lists its events' fields in one place; the printers are shared.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace marlow {

struct EventField {
    const char* name;
    std::variant<std::string, std::int64_t, bool> value;
};

struct EventRecord {
    const char* event; // kebab-case, stable
    std::vector<EventField> fields;
};

// "name field=value ...", texts escaped so that one event is one line.
std::string DescribeRecord(const EventRecord& record);

} // namespace marlow
