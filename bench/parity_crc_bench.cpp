// How much each step from the bit-by-bit CRC to the sliced tables buys, with
// memcpy over the same buffer as the machine's ceiling. 2 KiB is one
// partition frame; 1 MiB stands for a whole image checked in one go.

#include "uartloader/parity_crc.h"
#include "uartloader/parity_crc_variants.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace marlow::uartloader;

std::vector<std::uint8_t> RandomBuffer(std::size_t size) {
    std::mt19937 rng(42);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

template <std::uint32_t (*Variant)(std::uint32_t, std::span<const std::uint8_t>)>
void BM_Crc(benchmark::State& state) {
    const auto buffer = RandomBuffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::uint32_t crc = Variant(crc_variants::kInitialRegister, buffer);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_CalcParityCrc(benchmark::State& state) {
    const auto buffer = RandomBuffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::uint32_t crc = CalcParityCrc(buffer);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Memcpy(benchmark::State& state) {
    const auto source = RandomBuffer(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

constexpr std::int64_t kFrame = 2 << 10;
constexpr std::int64_t kImage = 1 << 20;

BENCHMARK(BM_Memcpy)->Arg(kFrame)->Arg(kImage);
BENCHMARK(BM_Crc<crc_variants::Bitwise>)->Name("BM_Bitwise")->Arg(kFrame)->Arg(kImage);
BENCHMARK(BM_Crc<crc_variants::Bytewise>)->Name("BM_Bytewise")->Arg(kFrame)->Arg(kImage);
BENCHMARK(BM_Crc<crc_variants::SliceBy4>)->Name("BM_SliceBy4")->Arg(kFrame)->Arg(kImage);
BENCHMARK(BM_Crc<crc_variants::SliceBy8>)->Name("BM_SliceBy8")->Arg(kFrame)->Arg(kImage);
BENCHMARK(BM_Crc<crc_variants::SliceBy16>)->Name("BM_SliceBy16")->Arg(kFrame)->Arg(kImage);
BENCHMARK(BM_CalcParityCrc)->Arg(kFrame)->Arg(kImage);

} // namespace
