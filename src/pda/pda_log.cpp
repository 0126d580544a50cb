#include "pda/pda_log.h"

namespace marlow::pda {
Q_LOGGING_CATEGORY(lcPda, "marlow.pda", QtWarningMsg)
} // namespace marlow::pda
