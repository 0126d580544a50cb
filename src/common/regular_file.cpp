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
    // Non-blocking, so that a pipe put in the file's place since the check
    // cannot hold the open either; the type is checked again on what opened.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return SystemReason();
    const bool statusRead = ::fstat(fd, &status) == 0;
    if (!statusRead || !S_ISREG(status.st_mode)) {
        Failure why = statusRead ? Failure{TypeRefusal(status.st_mode)} : SystemReason();
        ::close(fd);
        return why;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
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

} // namespace marlow
