#include "common/secret_file.h"

#include "common/regular_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow {

Status CheckOwnerOnly(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return Failure{"the password file " + path + " cannot be read (" + std::strerror(errno) +
                       ")"};
    if (!S_ISREG(status.st_mode))
        return Failure{"the password file " + path + " is not a regular file"};
    if ((status.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        return Failure{"the password file " + path + " may be read by others (mode " + mode +
                       "); make it its owner's alone: chmod 600 " + path};
    }
    return {};
}

Result<std::string> ReadSecretLine(const std::string& path, const std::string& firstLine) {
    if (Status alone = CheckOwnerOnly(path); !alone)
        return Failure{alone.Error()};
    const Result<int> fd = OpenRegularFile(path, O_RDONLY);
    if (!fd)
        return Failure{"the password file " + path + " " + fd.Error()};
    char buffer[4096];
    const ssize_t got = ::read(*fd, buffer, sizeof buffer);
    ::close(*fd);
    if (got < 0)
        return Failure{"the password file " + path + " cannot be read (" + std::strerror(errno) +
                       ")"};
    std::string line(buffer, static_cast<std::size_t>(got));
    line.resize(line.find_first_of("\r\n") == std::string::npos ? line.size()
                                                                : line.find_first_of("\r\n"));
    // The rest of the file holds nothing of ours; leave no copy of it about.
    std::memset(buffer, 0, sizeof buffer);
    if (line.empty())
        return Failure{"the password file " + path + " is empty; put " + firstLine +
                       " on its first line"};
    return line;
}

} // namespace marlow
