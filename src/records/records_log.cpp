#include "records/records_log.h"

namespace marlow::records {
Q_LOGGING_CATEGORY(lcRecords, "marlow.records", QtWarningMsg)
} // namespace marlow::records
