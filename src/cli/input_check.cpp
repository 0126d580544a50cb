#include "cli/input_check.h"

#include "common/input_file.h"
#include "common/path_rules.h"
#include "pda/boot_image.h"
#include "pda/list_file.h"

#include <array>

namespace marlow::cli {

namespace {

std::optional<std::string> CheckImage(const std::string& path) {
    const pda::ImageSummary summary = pda::ScanBootImage(path);
    if (summary.error == pda::ImageReadError::None)
        return std::nullopt;
    return path + ": " + summary.errorText;
}

std::optional<std::string> CheckPhoneGroup(const pda::ListContents& list) {
    if (!list.hasPhoneGroup)
        return "the list has no phone group, so nothing would go to the modem";
    std::array<bool, phone::kPhoneRoleCount> named{};
    for (const pda::PhoneGroupFile& file : list.phoneGroup) {
        if (file.role == phone::PhoneFileRole::None)
            return "the phone group's " + file.name + " is none of the phone files";
        if (file.ambiguity)
            return *file.ambiguity;
        if (const Result<InputFile> opened = InputFile::Open(file.path); !opened)
            return "cannot open the phone file " + file.path + " (" + opened.Error() + ")";
        named[static_cast<std::size_t>(file.role)] = true;
    }
    for (std::size_t role = 0; role < named.size(); ++role)
        if (!named[role])
            return std::string("the phone group names no ") +
                   phone::PhoneFileRoleName(static_cast<phone::PhoneFileRole>(role));
    return std::nullopt;
}

} // namespace

std::optional<std::string> CheckDownloadFile(const std::string& path, DownloadCheck check) {
    if (!EndsWithIgnoreCase(path, ".lst"))
        return check.wholeFiles ? CheckImage(path) : std::nullopt;
    const pda::ListContents list = pda::ReadListFile(path);
    if (!list.error.empty())
        return list.error;
    if (list.entries.empty())
        return path + ": the list names no image";
    if (check.wholeFiles)
        for (const pda::ListEntry& entry : list.entries)
            if (std::optional<std::string> problem =
                    entry.ambiguity ? entry.ambiguity : CheckImage(entry.path))
                return problem;
    if (check.phoneGroup)
        return CheckPhoneGroup(list);
    return std::nullopt;
}

} // namespace marlow::cli
