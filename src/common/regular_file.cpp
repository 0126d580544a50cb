#include "common/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow {

namespace {

std::string TypeRefusal(mode_t mode) {
    if (S_ISDIR(mode))
        return "is a folder";
    const char* kind = S_ISFIFO(mode)   ? " (a named pipe)"
                       : S_ISCHR(mode)  ? " (a character device)"
                       : S_ISBLK(mode)  ? " (a block device)"
                       : S_ISSOCK(mode) ? " (a socket)"
                                        : "";
    return std::string("is not a regular file") + kind;
}

Failure SystemReason() {
    return Failure{std::strerror(errno)};
}

void (*swapBeforeOpen)(const std::string& path) = nullptr;

} // namespace

Result<int> OpenRegularFile(const std::string& path, int flags) {
    if (path.find('\0') != std::string::npos)
        return Failure{"the name holds a NUL byte"};
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode))
            return Failure{TypeRefusal(status.st_mode)};
    } else if (errno != ENOENT || (flags & O_CREAT) == 0) {
        return SystemReason();
    }
    if (swapBeforeOpen != nullptr)
        swapBeforeOpen(path);
    // Non-blocking, so that a pipe put in the file's place since the check
    // cannot hold the open either; the type is checked again on what opened.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        const int openError = errno;
        // A writer that does not wait is turned away by a pipe with no
        // reader ("No such device or address"): say what is in the place.
        if (openError == ENXIO && ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            return Failure{TypeRefusal(status.st_mode)};
        return Failure{std::strerror(openError)};
    }
    const bool statusRead = ::fstat(fd, &status) == 0;
    if (!statusRead || !S_ISREG(status.st_mode)) {
        Failure why = statusRead ? Failure{TypeRefusal(status.st_mode)} : SystemReason();
        ::close(fd);
        return why;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Result<FileIdentity> IdentityOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return SystemReason();
    const auto nanoseconds = [](const timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    return FileIdentity{.device = status.st_dev,
                        .inode = status.st_ino,
                        .size = static_cast<std::uint64_t>(status.st_size),
                        .modifiedNs = nanoseconds(status.st_mtim),
                        .changedNs = nanoseconds(status.st_ctim)};
}

std::string ChangeBetween(const FileIdentity& before, const FileIdentity& now) {
    if (before.device != now.device || before.inode != now.inode)
        return "another file took its place";
    if (before.size != now.size)
        return "its size went from " + std::to_string(before.size) + " to " +
               std::to_string(now.size) + " bytes";
    if (before != now)
        return "it was written to";
    return {};
}

Status NamesRegularFileOrNothing(const std::string& path) {
    struct stat status {};
    if (path.find('\0') != std::string::npos)
        return Failure{"the name holds a NUL byte"};
    if (::stat(path.c_str(), &status) != 0)
        return errno == ENOENT ? Status{} : SystemReason();
    if (!S_ISREG(status.st_mode))
        return Failure{TypeRefusal(status.st_mode)};
    return {};
}

Result<std::FILE*> CreateRegularFile(const std::string& path) {
    const Result<int> fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (!fd)
        return Failure{fd.Error()};
    std::FILE* file = ::fdopen(*fd, "wb");
    if (file == nullptr) {
        Failure why = SystemReason();
        ::close(*fd);
        return why;
    }
    return file;
}

Status WriteRegularFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const Result<std::FILE*> created = CreateRegularFile(path);
    if (!created)
        return Failure{created.Error()};
    // A 0-byte file is a real case; fwrite must not see its null data pointer.
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), *created) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(*created) == 0;
    if (written && closed)
        return {};
    return Failure{std::strerror(written ? errno : writeError)};
}

void SetSwapBeforeOpenForTests(void (*swap)(const std::string& path)) {
    swapBeforeOpen = swap;
}

} // namespace marlow
