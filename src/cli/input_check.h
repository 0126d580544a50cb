#pragma once
// The check of a download file before the first byte goes to a handset,
// with the readers `marlow-cli image` shows: a run that would stop half-way
// on a bad record, or download nothing at all, is refused up front.

#include <optional>
#include <string>

namespace marlow::cli {

struct DownloadCheck {
    // Read every image to its end record, summing its records (off with
    // --no-check: the historic sequence, which finds a bad record only when
    // it gets there). A list that names no image is refused either way: a
    // run that downloads nothing has not succeeded.
    bool wholeFiles = true;
    // The list must end in a phone group naming the four phone files, and
    // each must open (a Total run hands them to the modem).
    bool phoneGroup = false;
};

// What is wrong with `path` (a .bin or .lst), in words the operator can act
// on; nullopt when it may be downloaded.
std::optional<std::string> CheckDownloadFile(const std::string& path, DownloadCheck check);

} // namespace marlow::cli
