#pragma once
// A phone file as the library sends it: checked when its part starts, then
// read piece by piece, so memory stays flat whatever the file's size. Only
// regular files of known size go: the link announces each file's size in a
// 32-bit field before the first byte.

#include "common/result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace marlow::ifwd {

class PartFile {
public:
    static constexpr std::uint64_t kLargest = 0xFFFFFFFFu;

    // A line for the operator when the file cannot be sent.
    static Result<std::unique_ptr<PartFile>> Open(const std::string& path);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& Path() const { return path_; }
    std::uint32_t Size() const { return size_; }

    // Fills `into` with the file's next bytes; fails on a read error or when
    // the file ends before its announced size.
    Status ReadNext(std::span<std::uint8_t> into);

private:
    PartFile(std::string path, int fd, std::uint32_t size)
        : path_(std::move(path)), fd_(fd), size_(size) {}

    std::string path_;
    int fd_;
    std::uint32_t size_;
};

} // namespace marlow::ifwd
