#pragma once
// The check of a download file before the first byte goes to a handset, with
// the readers `marlow-cli image` shows: a run that would stop half-way on a
// bad record, or download nothing at all, is refused up front, with a reason
// the operator can act on. Every front end checks its file this way.

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
    std::optional<std::uint64_t> size; // in bytes, known when the image was read whole
    bool operator==(const PlannedImage&) const = default;
};

// What the check learnt of the file: the images in download order and the
// list's phone group (empty for a lone image or a list without one).
struct DownloadPlan {
    std::vector<PlannedImage> images = {};
    bool hasPhoneGroup = false;
    std::vector<PhoneGroupFile> phoneGroup = {};
};

// `path` is a boot image (.bin) or a list (.lst); a failure says what is
// wrong with it.
Result<DownloadPlan> CheckDownloadPlan(const std::string& path, DownloadCheck check);

} // namespace marlow::pda
