#include "usb/usb_log.h"

namespace marlow::usb {
Q_LOGGING_CATEGORY(lcUsb, "marlow.usb", QtWarningMsg)
} // namespace marlow::usb
