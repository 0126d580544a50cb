// RecordByteSum runs over every byte the download sends; it must keep up
// with memory, not with a byte-at-a-time loop. memcpy is the anchor for
// what "keeping up with memory" means on the machine at hand.
#include "pda/boot_image.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> Data(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
    return bytes;
}

// What a straightforward implementation would be; kept out of line and
// away from the vectorizer so it measures the byte-at-a-time cost.
[[gnu::noinline]] std::uint32_t NaiveSum(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        total += bytes[i];
        benchmark::DoNotOptimize(total);
    }
    return total;
}

void BM_RecordByteSum(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Data(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(marlow::pda::RecordByteSum(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_NaiveLoop(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Data(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(NaiveSum(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_MemcpyAnchor(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Data(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_RecordByteSum)->Arg(2 * 1024)->Arg(1024 * 1024);
BENCHMARK(BM_NaiveLoop)->Arg(2 * 1024)->Arg(1024 * 1024);
BENCHMARK(BM_MemcpyAnchor)->Arg(2 * 1024)->Arg(1024 * 1024);
