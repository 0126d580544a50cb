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

int Refuse(std::string* error, std::string why) {
    if (error != nullptr)
        *error = std::move(why);
    return -1;
}

} // namespace

int OpenRegularFile(const std::string& path, int flags, std::string* error) {
    if (path.find('\0') != std::string::npos)
        return Refuse(error, "the name holds a NUL byte");
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode))
            return Refuse(error, TypeRefusal(status.st_mode));
    } else if (errno != ENOENT || (flags & O_CREAT) == 0) {
        return Refuse(error, std::strerror(errno));
    }
    // Non-blocking, so that a pipe put in the file's place since the check
    // cannot hold the open either; the type is checked again on what opened.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return Refuse(error, std::strerror(errno));
    const bool statusRead = ::fstat(fd, &status) == 0;
    if (!statusRead || !S_ISREG(status.st_mode)) {
        const std::string why = statusRead ? TypeRefusal(status.st_mode) : std::strerror(errno);
        ::close(fd);
        return Refuse(error, why);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool NamesRegularFileOrNothing(const std::string& path, std::string* error) {
    std::string why;
    struct stat status {};
    if (path.find('\0') != std::string::npos)
        why = "the name holds a NUL byte";
    else if (::stat(path.c_str(), &status) != 0)
        why = errno == ENOENT ? "" : std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        why = TypeRefusal(status.st_mode);
    if (why.empty())
        return true;
    Refuse(error, std::move(why));
    return false;
}

std::FILE* CreateRegularFile(const std::string& path, std::string* error) {
    const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC, error);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        Refuse(error, std::strerror(errno));
        ::close(fd);
    }
    return file;
}

} // namespace marlow
