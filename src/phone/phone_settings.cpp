#include "phone/phone_settings.h"

namespace marlow::phone {

QString PhoneLibrarySetting(const QSettings& settings) {
    return settings.value("PhoneLibrary").toString();
}

QString PhonePortPatternSetting(const QSettings& settings) {
    return settings.value("PhonePortPattern").toString();
}

} // namespace marlow::phone
