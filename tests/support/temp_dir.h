#pragma once
// A fresh folder per test, removed with everything in it afterwards.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name
    std::string File(std::string_view name) const;
    // A file here holding `text`, with the mode given (a password file's
    // 0600, one others may read); its path.
    std::string Write(std::string_view name, std::string_view text, unsigned mode) const;

private:
    std::string path_;
};

void WriteFile(const std::string& path, std::string_view text);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

// Bytes without a visible pattern, the same for the same seed.
std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint8_t seed);

// Classic 16-bytes-a-line dump, for readable mismatch messages.
std::string HexDump(const std::vector<std::uint8_t>& bytes);

} // namespace marlow::test
