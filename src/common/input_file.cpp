#include "common/input_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace marlow {

std::optional<InputFile> InputFile::Open(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        if (error != nullptr)
            *error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (error != nullptr)
            *error = S_ISDIR(st.st_mode) ? "is a folder" : std::strerror(errno);
        std::fclose(f);
        return std::nullopt;
    }
    InputFile file(f, static_cast<std::uint64_t>(st.st_size));
    file.buffer_ = std::make_unique<char[]>(kBufferSize);
    std::setvbuf(f, file.buffer_.get(), _IOFBF, kBufferSize);
    return file;
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
