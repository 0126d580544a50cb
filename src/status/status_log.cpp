#include "status/status_log.h"

namespace marlow::status {
Q_LOGGING_CATEGORY(lcStatus, "marlow.status", QtWarningMsg)
} // namespace marlow::status
