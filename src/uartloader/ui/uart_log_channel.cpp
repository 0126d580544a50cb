#include "uartloader/ui/uart_log_channel.h"

namespace marlow::uartloader::ui {

// Warnings and up by default: the diagnostics are debug messages.
Q_LOGGING_CATEGORY(lcUartLoader, "marlow.uartloader", QtWarningMsg)

} // namespace marlow::uartloader::ui
