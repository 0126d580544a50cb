#include "part_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow::ifwd {
namespace {

// Why a file that exists cannot be sent, or empty when it can.
std::string Unsendable(const std::string& path, const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return "Cannot send " + path + ": it is a folder, not a file. Name the phone file itself.";
    if (!S_ISREG(info.st_mode))
        return "Cannot send " + path +
               ": it is a device or a pipe, not a regular file. The modem takes regular files of "
               "up to " +
               std::to_string(PartFile::kLargest) + " bytes.";
    if (static_cast<std::uint64_t>(info.st_size) > PartFile::kLargest)
        return "Cannot send " + path + ": its " + std::to_string(info.st_size) +
               " bytes are more than the " + std::to_string(PartFile::kLargest) +
               " the modem link carries.";
    return {};
}

} // namespace

Result<std::unique_ptr<PartFile>> PartFile::Open(const std::string& path) {
    if (path.empty())
        return Failure{"No file is named for this part. Check the phone package."};
    // Looked at before it is opened: opening a pipe or a terminal could block
    // or disturb it.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Failure{"Cannot open the file " + path + ": " + std::strerror(errno)};
    if (std::string why = Unsendable(path, info); !why.empty())
        return Failure{std::move(why)};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Failure{"Cannot open the file " + path + ": " + std::strerror(errno)};
    // Again on what was opened, in case the name changed hands meanwhile.
    std::string why;
    if (::fstat(fd, &info) != 0)
        why = "Cannot read the file " + path + ": " + std::strerror(errno);
    else
        why = Unsendable(path, info);
    if (!why.empty()) {
        ::close(fd);
        return Failure{std::move(why)};
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<PartFile>(
        new PartFile(path, fd, static_cast<std::uint32_t>(info.st_size)));
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
