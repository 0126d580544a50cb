// Log channel "marlow.pda" for the service engineer: what the boot loader answered and why a run
// stopped. Off by default; QT_LOGGING_RULES="marlow.pda.debug=true" or `marlow-cli --verbose`
// turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::pda {
Q_DECLARE_LOGGING_CATEGORY(lcPda)
} // namespace marlow::pda
