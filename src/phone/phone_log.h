// Log channel "marlow.phone" for the service engineer: where the vendor library came from, the
// modem port chosen and why. Off by default; QT_LOGGING_RULES="marlow.phone.debug=true" or
// `marlow-cli --verbose` turns it on.
#pragma once

#include <QLoggingCategory>

namespace marlow::phone {
Q_DECLARE_LOGGING_CATEGORY(lcPhone)
} // namespace marlow::phone
