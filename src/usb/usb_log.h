// Log channel "marlow.usb" for the service engineer: devices opened and closed, the libusb and bus
// errors. Off by default; QT_LOGGING_RULES="marlow.usb.debug=true" or `marlow-cli --verbose` turns
// it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::usb {
Q_DECLARE_LOGGING_CATEGORY(lcUsb)
} // namespace marlow::usb
