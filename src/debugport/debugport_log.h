// Log channel "marlow.debugport" for the service engineer: the ports opened, closed and lost, and
// why an open failed. Off by default; QT_LOGGING_RULES="marlow.debugport.debug=true" or `marlow-
// cli --verbose` turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::debugport {
Q_DECLARE_LOGGING_CATEGORY(lcDebugPort)
} // namespace marlow::debugport
