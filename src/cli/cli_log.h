// Log channel "marlow.cli" for the service engineer: the command run and its exit code. Off by
// default; QT_LOGGING_RULES="marlow.cli.debug=true" or `marlow-cli --verbose` turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::cli {
Q_DECLARE_LOGGING_CATEGORY(lcCli)
} // namespace marlow::cli
