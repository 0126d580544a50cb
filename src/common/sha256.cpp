#include "common/sha256.h"

#include "common/input_file.h"

#include <openssl/evp.h>

#include <new>
#include <vector>

namespace marlow {

struct Sha256::Context {
    Context() : md(EVP_MD_CTX_new()) {
        if (md == nullptr || EVP_DigestInit_ex(md, EVP_sha256(), nullptr) != 1)
            throw std::bad_alloc();
    }
    ~Context() { EVP_MD_CTX_free(md); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    EVP_MD_CTX* md;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    Update(bytes.data(), bytes.size());
}

void Sha256::Update(const void* data, std::size_t size) {
    // Only a context without a digest can fail here, and ours always has one.
    EVP_DigestUpdate(context_->md, data, size);
}

Sha256Digest Sha256::Final() {
    Sha256Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_->md, digest.data(), &length);
    EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr);
    return digest;
}

std::string HexOf(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0x0F]);
    }
    return hex;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return HexOf(hash.Final());
}

Result<FileDigest> DigestOfFile(const std::string& path) {
    Result<InputFile> file = InputFile::Open(path);
    if (!file)
        return Failure{file.Error()};
    Sha256 hash;
    std::vector<std::uint8_t> chunk(1 << 20);
    FileDigest digest;
    while (const std::size_t got = file->Read(chunk)) {
        hash.Update(chunk.data(), got);
        digest.size += static_cast<std::int64_t>(got);
    }
    if (std::ferror(file->Handle()) != 0)
        return Failure{"reading failed"};
    digest.sha256 = HexOf(hash.Final());
    return digest;
}

} // namespace marlow
