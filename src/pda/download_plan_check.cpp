#include "pda/download_plan_check.h"

#include "common/input_file.h"
#include "common/path_rules.h"
#include "pda/boot_image.h"

#include <array>
#include <cstdio>
#include <utility>

namespace marlow::pda {

namespace {

Result<PlannedImage> CheckImage(const std::string& name, const std::string& path, bool wholeFile) {
    if (!wholeFile)
        return PlannedImage{.name = name, .path = path, .size = std::nullopt};
    const ImageSummary summary = ScanBootImage(path, kMaxScanRecords, ScanDigest::Sha256);
    if (summary.error != ImageReadError::None)
        return Failure{path + ": " + summary.errorText};
    return PlannedImage{.name = name,
                        .path = path,
                        .size = summary.fileSize,
                        .sha256 = HexOf(*summary.sha256),
                        .identity = summary.identity};
}

Status CheckPhoneGroup(const ListContents& list) {
    if (!list.hasPhoneGroup)
        return Failure{"the list has no phone group, so nothing would go to the modem"};
    std::array<bool, phone::kPhoneRoleCount> named{};
    for (const PhoneGroupFile& file : list.phoneGroup) {
        if (file.role == phone::PhoneFileRole::None)
            return Failure{"the phone group's " + file.name + " is none of the phone files"};
        if (file.ambiguity)
            return Failure{*file.ambiguity};
        if (const Result<InputFile> opened = InputFile::Open(file.path); !opened)
            return Failure{"cannot open the phone file " + file.path + " (" + opened.Error() + ")"};
        named[static_cast<std::size_t>(file.role)] = true;
    }
    for (std::size_t role = 0; role < named.size(); ++role)
        if (!named[role])
            return Failure{std::string("the phone group names no ") +
                           phone::PhoneFileRoleName(static_cast<phone::PhoneFileRole>(role))};
    return {};
}

} // namespace

Result<DownloadPlan> CheckDownloadPlan(const std::string& path, DownloadCheck check) {
    if (!EndsWithIgnoreCase(path, ".lst")) {
        Result<PlannedImage> image = CheckImage(path, path, check.wholeFiles);
        if (!image)
            return Failure{image.Error()};
        return DownloadPlan{.images = {std::move(*image)}};
    }
    // Taken before the list is read: a list that changes from here on
    // differs from this when the download opens it.
    std::optional<FileIdentity> listIdentity;
    if (const Result<InputFile> opened = InputFile::Open(path); opened)
        if (const Result<FileIdentity> identity = IdentityOf(::fileno(opened->Handle())); identity)
            listIdentity = *identity;
    ListContents list = ReadListFile(path);
    if (!list.read)
        return Failure{list.read.Error()};
    if (list.entries.empty())
        return Failure{path + ": the list names no image"};
    DownloadPlan plan{.hasPhoneGroup = list.hasPhoneGroup, .listIdentity = listIdentity};
    for (const ListEntry& entry : list.entries) {
        if (check.wholeFiles && entry.ambiguity)
            return Failure{*entry.ambiguity};
        Result<PlannedImage> image = CheckImage(entry.name, entry.path, check.wholeFiles);
        if (!image)
            return Failure{image.Error()};
        plan.images.push_back(std::move(*image));
    }
    if (check.phoneGroup)
        if (Status group = CheckPhoneGroup(list); !group)
            return Failure{group.Error()};
    plan.phoneGroup = std::move(list.phoneGroup);
    return plan;
}

} // namespace marlow::pda
