#include "phone/phone_log.h"

namespace marlow::phone {
Q_LOGGING_CATEGORY(lcPhone, "marlow.phone", QtWarningMsg)
} // namespace marlow::phone
