#include "records/event_json.h"

namespace marlow::records {

QJsonObject EventJson(const EventRecord& record) {
    QJsonObject object;
    object["event"] = record.event;
    for (const EventField& field : record.fields) {
        if (const auto* text = std::get_if<std::string>(&field.value))
            object[field.name] = QString::fromStdString(*text);
        else if (const auto* number = std::get_if<std::int64_t>(&field.value))
            object[field.name] = static_cast<qint64>(*number);
        else
            object[field.name] = std::get<bool>(field.value);
    }
    return object;
}

} // namespace marlow::records
