#include "app/file_information.h"

#include "common/input_file.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace marlow::app {

namespace {

// The name the operator recognises: absolute, with "." and ".." resolved the
// way the file chooser shows paths, but links left as they were typed.
std::string FullPathName(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::tm ModifiedLocalTime(InputFile& file) {
    std::tm local{};
    struct stat status {};
    if (fstat(fileno(file.Handle()), &status) == 0)
        localtime_r(&status.st_mtime, &local);
    return local;
}

// Reads up to into.size() bytes at `offset`; what the file does not give
// stays zero, so a file that shrank under us cannot leave stale bytes.
void ReadAt(InputFile& file, std::uint64_t offset, std::span<std::uint8_t> into) {
    std::fill(into.begin(), into.end(), std::uint8_t{0});
    if (file.Seek(offset))
        file.Read(into);
}

} // namespace

Result<FileFacts> ReadFileFacts(const std::string& path) {
    Result<InputFile> file = InputFile::Open(path);
    if (!file)
        return Failure{file.Error()};

    FileFacts facts;
    facts.fullPathName = FullPathName(path);
    facts.size = file->Size();
    facts.modifiedLocal = ModifiedLocalTime(*file);
    ReadAt(*file, 0, facts.head);

    // The end record lies inside the last 20 bytes, so one tail read serves both.
    std::array<std::uint8_t, stamp::kTrailerSize> tail{};
    const std::uint64_t tailLength = std::min<std::uint64_t>(facts.size, tail.size());
    const std::span<std::uint8_t> tailBytes = std::span(tail).first(tailLength);
    ReadAt(*file, facts.size - tailLength, tailBytes);

    if (tailLength == stamp::kTrailerSize)
        facts.trailer = tail;
    if (tailLength > kEndRecordSize) {
        std::array<std::uint8_t, kEndRecordSize> endRecord{};
        std::copy(tailBytes.end() - kEndRecordSize, tailBytes.end(), endRecord.begin());
        facts.endRecord = endRecord;
    }
    return facts;
}

} // namespace marlow::app
