#pragma once
// A read-only regular file that is closed on every path (RAII over stdio),
// with the short-read semantics the readers rely on: Read returns how many
// bytes came.

#include "common/result.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace marlow {

class InputFile {
public:
    // Why not when the file cannot be opened or is no regular file (a pipe,
    // a device, a folder: see OpenRegularFile).
    static Result<InputFile> Open(const std::string& path);

    std::size_t Read(std::span<std::uint8_t> into);
    // True when exactly into.size() bytes were read.
    bool ReadExactly(std::span<std::uint8_t> into) { return Read(into) == into.size(); }

    std::uint64_t Size() const { return size_; }
    std::uint64_t Position() const { return position_; }
    bool Seek(std::uint64_t offset);
    std::FILE* Handle() const { return file_.get(); }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    explicit InputFile(std::FILE* f, std::uint64_t size) : file_(f), size_(size) {}
    std::unique_ptr<std::FILE, Closer> file_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

} // namespace marlow
