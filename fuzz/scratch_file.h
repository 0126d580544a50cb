#pragma once
// The file parsers are fuzzed the way the tool meets their input: from a file
// on disk. One scratch file per fuzzer process, in a memory-backed folder when
// there is one, since rewriting a disk file per run would make the file
// system, not the parser, the bottleneck.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace marlow::fuzz {

inline std::string ScratchDirectory() {
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec))
        return "/dev/shm/";
    return std::filesystem::temp_directory_path().string() + "/";
}

struct ScratchFile {
    // `name` like "image.bin": the extension matters to some readers.
    explicit ScratchFile(const std::string& name)
        : path(ScratchDirectory() + "marlow-fuzz-" + std::to_string(getpid()) + "-" + name) {}
    ~ScratchFile() { std::remove(path.c_str()); }
    void Write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }
    std::string path;
};

} // namespace marlow::fuzz
