#include "phone/phone_files.h"

#include "common/path_rules.h"

namespace marlow::phone {

PhoneFileRole ClassifyPhoneFile(std::string_view member) {
    // A member in a folder ("SUB\psi.flb") is known by its own name.
    const std::string name = FileNamePart(member);
    if (EqualsIgnoreCase(name, "psi.flb"))
        return PhoneFileRole::PsiLoader;
    if (EqualsIgnoreCase(name, "slb.flb"))
        return PhoneFileRole::SecondStageLoader;
    if (EndsWithIgnoreCase(name, ".fls"))
        return PhoneFileRole::Firmware;
    if (EndsWithIgnoreCase(name, ".eep"))
        return PhoneFileRole::Eeprom;
    return PhoneFileRole::None;
}

const char* PhoneFileRoleName(PhoneFileRole role) {
    switch (role) {
    case PhoneFileRole::PsiLoader:
        return "PSI loader";
    case PhoneFileRole::SecondStageLoader:
        return "second-stage loader";
    case PhoneFileRole::Firmware:
        return "firmware image";
    case PhoneFileRole::Eeprom:
        return "EEPROM image";
    case PhoneFileRole::None:
        break;
    }
    return "no role";
}

const char* PhoneFileRoleKey(PhoneFileRole role) {
    switch (role) {
    case PhoneFileRole::PsiLoader:
        return "psi";
    case PhoneFileRole::SecondStageLoader:
        return "slb";
    case PhoneFileRole::Firmware:
        return "firmware";
    case PhoneFileRole::Eeprom:
        return "eeprom";
    case PhoneFileRole::None:
        break;
    }
    return "none";
}

void PhoneFileSet::ClearDisplayNames() {
    for (PhoneFileEntry& entry : roles)
        entry.displayName.clear();
}

bool PhoneFileSet::Assign(PhoneFileRole role, std::string displayName, std::string path) {
    if (role == PhoneFileRole::None || !FitsPhonePath(path))
        return false;
    PhoneFileEntry& entry = (*this)[role];
    entry.displayName = std::move(displayName);
    entry.path = std::move(path);
    return true;
}

} // namespace marlow::phone
