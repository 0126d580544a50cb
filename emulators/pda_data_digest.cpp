#include "pda_data_digest.h"

namespace marlow::emulators {

namespace {

constexpr std::uint64_t kMultiplier = 0x100000001B3ull * 0xFF51AFD7ED558CCDull | 1;

std::uint64_t Mix(std::uint64_t state, std::uint64_t word) {
    state = (state ^ word) * kMultiplier;
    return state ^ (state >> 29);
}

// Eight bytes, least significant first; compilers turn this into one load,
// but only late: without the attribute GCC judges it too big to inline and
// the digest pays a call per word.
[[gnu::always_inline]] inline std::uint64_t Word(const std::uint8_t* b) {
    return std::uint64_t{b[0]} | std::uint64_t{b[1]} << 8 | std::uint64_t{b[2]} << 16 |
           std::uint64_t{b[3]} << 24 | std::uint64_t{b[4]} << 32 | std::uint64_t{b[5]} << 40 |
           std::uint64_t{b[6]} << 48 | std::uint64_t{b[7]} << 56;
}

} // namespace

void PdaDataDigest::AddChunk(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    std::uint64_t state = Mix(state_, address);
    state = Mix(state, bytes.size());
    // Four independent lanes keep the multiplier's latency from setting the
    // pace; each step is invertible, so a changed word always changes its
    // lane. The lanes fold into one state, mixed, at the end of the chunk.
    std::uint64_t lane0 = state, lane1 = state + 1, lane2 = state + 2, lane3 = state + 3;
    const std::uint8_t* next = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 32; left -= 32, next += 32) {
        lane0 = (lane0 + Word(next)) * kMultiplier;
        lane1 = (lane1 + Word(next + 8)) * kMultiplier;
        lane2 = (lane2 + Word(next + 16)) * kMultiplier;
        lane3 = (lane3 + Word(next + 24)) * kMultiplier;
    }
    state = Mix(Mix(Mix(lane0, lane1), lane2), lane3);
    for (; left > 0; --left)
        state = Mix(state, *next++);
    state_ = state;
    bytes_ += bytes.size();
}

} // namespace marlow::emulators
