#pragma once
// The four files of a phone download and how a file name selects its role.
// Phone packages and the phone group of a PDA list share this one rule.

#include <array>
#include <string>
#include <string_view>

namespace marlow::phone {

enum class PhoneFileRole {
    PsiLoader = 0,
    SecondStageLoader = 1,
    Firmware = 2,
    Eeprom = 3,
    None = 4
};

inline constexpr std::size_t kPhoneRoleCount = 4;
// A role's path lives in a 500-character field on the handset tools' side.
inline constexpr std::size_t kMaxPhonePath = 499;

// "psi.flb", "slb.flb", "*.fls", "*.eep" (letter case ignored), else None;
// a name with folders ("SUB\psi.flb") by its last part.
PhoneFileRole ClassifyPhoneFile(std::string_view member);

// "PSI loader", "second-stage loader", "firmware image", "EEPROM image", "no role".
const char* PhoneFileRoleName(PhoneFileRole role);
// "psi", "slb", "firmware", "eeprom" ("none"): stable names for JSON.
const char* PhoneFileRoleKey(PhoneFileRole role);

inline bool FitsPhonePath(std::string_view path) {
    return path.size() <= kMaxPhonePath;
}

struct PhoneFileEntry {
    std::string displayName;
    std::string path;
    bool operator==(const PhoneFileEntry&) const = default;
};

struct PhoneFileSet {
    std::array<PhoneFileEntry, kPhoneRoleCount> roles;

    PhoneFileEntry& operator[](PhoneFileRole r) { return roles[static_cast<std::size_t>(r)]; }
    const PhoneFileEntry& operator[](PhoneFileRole r) const {
        return roles[static_cast<std::size_t>(r)];
    }
    void ClearDisplayNames();
    // Stores a file under its role, replacing what was there. A path that
    // does not fit, or no role, changes nothing and gives false.
    bool Assign(PhoneFileRole role, std::string displayName, std::string path);
    bool operator==(const PhoneFileSet&) const = default;
};

} // namespace marlow::phone
