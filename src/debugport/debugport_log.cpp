#include "debugport/debugport_log.h"

namespace marlow::debugport {
Q_LOGGING_CATEGORY(lcDebugPort, "marlow.debugport", QtWarningMsg)
} // namespace marlow::debugport
