#pragma once
// A running fingerprint of the data a boot loader received, so that the
// emulator can tell whether a gigabyte arrived intact without keeping it.
// Fed chunk by chunk (address, then bytes); the same chunks in the same
// order give the same value. Not cryptographic: it only has to notice a
// lost, repeated or altered chunk.

#include <cstdint>
#include <span>

namespace marlow::emulators {

class PdaDataDigest {
public:
    void AddChunk(std::uint32_t address, std::span<const std::uint8_t> bytes);
    std::uint64_t Value() const { return state_ ^ (bytes_ * 0x9E3779B97F4A7C15ull); }
    std::uint64_t Bytes() const { return bytes_; }
    bool operator==(const PdaDataDigest&) const = default;

private:
    std::uint64_t state_ = 0xCBF29CE484222325ull;
    std::uint64_t bytes_ = 0;
};

} // namespace marlow::emulators
