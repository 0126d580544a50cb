#pragma once
// The UART loader's debug channel: why a port did not open, what a step
// found wrong, port warnings. A service engineer turns it on with
// QT_LOGGING_RULES="marlow.uartloader.debug=true"; the operator never sees it.

#include <QLoggingCategory>

namespace marlow::uartloader::ui {

Q_DECLARE_LOGGING_CATEGORY(lcUartLoader)

} // namespace marlow::uartloader::ui
