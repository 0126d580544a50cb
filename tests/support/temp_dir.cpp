#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace marlow::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marlow-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

std::string TempDir::Write(std::string_view name, std::string_view text, unsigned mode) const {
    const std::string path = File(name);
    WriteFile(path, text);
    std::filesystem::permissions(path, static_cast<std::filesystem::perms>(mode));
    return path;
}

void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadFileText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

std::string HexDump(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buf[24];
    for (std::size_t i = 0; i < bytes.size(); i += 16) {
        std::snprintf(buf, sizeof buf, "%06zx", i);
        out += buf;
        for (std::size_t j = i; j < i + 16 && j < bytes.size(); ++j) {
            std::snprintf(buf, sizeof buf, " %02x", bytes[j]);
            out += buf;
        }
        out += '\n';
    }
    return out;
}

std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = 0x9E3779B9u * (seed + 1u);
    for (std::uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

} // namespace marlow::test
