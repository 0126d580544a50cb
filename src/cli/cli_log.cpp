#include "cli/cli_log.h"

namespace marlow::cli {
Q_LOGGING_CATEGORY(lcCli, "marlow.cli", QtWarningMsg)
} // namespace marlow::cli
