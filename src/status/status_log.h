// Log channel "marlow.status" for the service engineer: the broker
// connected, lost and tried again, and why; states and summaries that
// could not go out. Never a password or a payload. Off by default;
// QT_LOGGING_RULES="marlow.status.debug=true" or `marlow-cli --verbose`
// turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::status {
Q_DECLARE_LOGGING_CATEGORY(lcStatus)
} // namespace marlow::status
