#include "common/input_file.h"

#include "common/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow {

Result<InputFile> InputFile::Open(const std::string& path) {
    const Result<int> fd = OpenRegularFile(path, O_RDONLY);
    if (!fd)
        return Failure{fd.Error()};
    struct stat status {};
    std::FILE* f = ::fstat(*fd, &status) == 0 ? ::fdopen(*fd, "rb") : nullptr;
    if (f == nullptr) {
        Failure why{std::strerror(errno)};
        ::close(*fd);
        return why;
    }
    return InputFile(f, static_cast<std::uint64_t>(status.st_size));
}

std::size_t InputFile::Read(std::span<std::uint8_t> into) {
    if (into.empty())
        return 0;
    const std::size_t got = std::fread(into.data(), 1, into.size(), file_.get());
    position_ += got;
    return got;
}

bool InputFile::Seek(std::uint64_t offset) {
    if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    position_ = offset;
    return true;
}

} // namespace marlow
