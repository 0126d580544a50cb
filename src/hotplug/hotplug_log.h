// Log channel "marlow.hotplug" for the service engineer: each arrival and removal and what it
// meant for a run. Off by default; QT_LOGGING_RULES="marlow.hotplug.debug=true" or `marlow-cli
// --verbose` turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::hotplug {
Q_DECLARE_LOGGING_CATEGORY(lcHotplug)
} // namespace marlow::hotplug
