// Log channel "marlow.records" for the service engineer: the store opened and
// migrated, records found interrupted, every write that failed and why. Off
// by default; QT_LOGGING_RULES="marlow.records.debug=true" or `marlow-cli
// --verbose` turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::records {
Q_DECLARE_LOGGING_CATEGORY(lcRecords)
} // namespace marlow::records
