#include "phone/phone_settings.h"

#include "phone/phone_ports.h"

namespace marlow::phone {

QString PhoneLibrarySetting(const QSettings& settings) {
    return settings.value("PhoneLibrary").toString();
}

QString PhonePortPatternSetting(const QSettings& settings) {
    const QString pattern = settings.value("PhonePortPattern").toString();
    return pattern.isEmpty() ? QString::fromStdString(DefaultPortPattern()) : pattern;
}

} // namespace marlow::phone
