#include "hotplug/hotplug_log.h"

namespace marlow::hotplug {
Q_LOGGING_CATEGORY(lcHotplug, "marlow.hotplug", QtWarningMsg)
} // namespace marlow::hotplug
