#include "common/event_fields.h"

#include "common/printable_text.h"

namespace marlow {

std::string DescribeRecord(const EventRecord& record) {
    std::string line = record.event;
    for (const EventField& field : record.fields) {
        line += std::string(" ") + field.name + "=";
        if (const auto* text = std::get_if<std::string>(&field.value))
            line += "\"" + Printable(*text) + "\"";
        else if (const auto* number = std::get_if<std::int64_t>(&field.value))
            line += std::to_string(*number);
        else
            line += std::get<bool>(field.value) ? "true" : "false";
    }
    return line;
}

} // namespace marlow
