#include "part_file.h"

#include "common/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow::ifwd {

Result<std::unique_ptr<PartFile>> PartFile::Open(const std::string& path) {
    if (path.empty())
        return Failure{"No file is named for this part. Check the phone package."};
    // The tool's one rule: a pipe, a terminal or a folder is never read, nor
    // a file put in the place of the one looked at.
    const Result<int> fd = OpenRegularFile(path, O_RDONLY);
    if (!fd)
        return Failure{"Cannot send " + path + ": " + fd.Error() +
                       ". The modem takes regular files of up to " + std::to_string(kLargest) +
                       " bytes."};
    struct stat info {};
    std::string why;
    if (::fstat(*fd, &info) != 0)
        why = "Cannot read the file " + path + ": " + std::strerror(errno);
    else if (static_cast<std::uint64_t>(info.st_size) > kLargest)
        why = "Cannot send " + path + ": its " + std::to_string(info.st_size) +
              " bytes are more than the " + std::to_string(kLargest) + " the modem link carries.";
    if (!why.empty()) {
        ::close(*fd);
        return Failure{std::move(why)};
    }
    ::posix_fadvise(*fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<PartFile>(
        new PartFile(path, *fd, static_cast<std::uint32_t>(info.st_size)));
}

PartFile::~PartFile() {
    ::close(fd_);
}

Status PartFile::ReadNext(std::span<std::uint8_t> into) {
    while (!into.empty()) {
        const ssize_t got = ::read(fd_, into.data(), into.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Failure{"Cannot read the file " + path_ + ": " + std::strerror(errno)};
        if (got == 0)
            return Failure{"The file " + path_ + " ended before its " + std::to_string(size_) +
                           " bytes were sent: it changed while it was sent."};
        into = into.subspan(static_cast<std::size_t>(got));
    }
    return {};
}

} // namespace marlow::ifwd
