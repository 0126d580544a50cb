#pragma once
// SHA-256 of bytes that come in chunks: a reader that already touches every
// byte of a file (to send it, to check it) feeds each chunk here in the same
// pass, so a file's digest costs no second read. Backed by OpenSSL's
// libcrypto, which uses the processor's SHA instructions where it has them
// (bench/sha256_bench.cpp measures it against Qt's own implementation).

#include "common/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace marlow {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;

    void Update(std::span<const std::uint8_t> bytes);
    void Update(const void* data, std::size_t size);
    // The digest of everything fed so far; the object starts over afterwards.
    Sha256Digest Final();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

// 64 lower-case hex digits.
std::string HexOf(const Sha256Digest& digest);
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

// The size and digest of a whole file, read once.
struct FileDigest {
    std::int64_t size = 0;
    std::string sha256; // hex
};
Result<FileDigest> DigestOfFile(const std::string& path);

} // namespace marlow
