#pragma once
// The check of a download file before the first byte goes to a handset, with
// the readers `marlow-cli image` shows: a run that would stop half-way on a
// bad record, or download nothing at all, is refused up front, with a reason
// the operator can act on. Every front end checks its file this way.

#include "common/regular_file.h"
#include "common/result.h"
#include "pda/list_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlow::pda {

struct DownloadCheck {
    // Read every image to its end record, summing its records (off: the
    // historic sequence, which finds a bad record only when it gets there).
    // A list that names no image is refused either way: a run that
    // downloads nothing has not succeeded.
    bool wholeFiles = true;
    // The list must end in a phone group naming the four phone files, and
    // each must open (a Total run hands them to the modem).
    bool phoneGroup = false;
};

struct PlannedImage {
    std::string name; // as the list writes it; a lone image's own path
    std::string path;
    // Known when the image was read whole, in the same pass: its size in
    // bytes, the SHA-256 of all of it (64 lower-case hex digits), and the
    // file as it was read, which a download compares with the file it
    // sends so that the digest describes what went to the handset.
    std::optional<std::uint64_t> size;
    std::string sha256 = {};
    std::optional<FileIdentity> identity = {};
    bool operator==(const PlannedImage&) const = default;
};

// What the check learnt of the file: the images in download order and the
// list's phone group (empty for a lone image or a list without one).
struct DownloadPlan {
    std::vector<PlannedImage> images = {};
    bool hasPhoneGroup = false;
    std::vector<PhoneGroupFile> phoneGroup = {};
    // The list as it was read (none for a lone image).
    std::optional<FileIdentity> listIdentity = {};
};

// `path` is a boot image (.bin) or a list (.lst); a failure says what is
// wrong with it.
Result<DownloadPlan> CheckDownloadPlan(const std::string& path, DownloadCheck check);

} // namespace marlow::pda
