#pragma once
// An engine's event as one JSON object: "event" and its fields by stable
// name. `marlow-cli --json` prints these; a run's record keeps them as its
// evidence.

#include "common/event_fields.h"

#include <QJsonObject>

namespace marlow::records {

QJsonObject EventJson(const EventRecord& record);

} // namespace marlow::records
