// Which SHA-256 the digest helper uses: OpenSSL's libcrypto (which uses the
// processor's SHA instructions where it has them) against Qt's own
// QCryptographicHash, both fed in the 1 MiB chunks a file reader passes on.
// Measured in one run, alternating, so the ratio holds on a busy machine.
#include "common/sha256.h"

#include <QCryptographicHash>
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr int kChunks = 64;

std::vector<std::uint8_t> Data() {
    std::vector<std::uint8_t> bytes(kChunk);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
    return bytes;
}

template <typename Hash> double Seconds(Hash hash) {
    const auto start = std::chrono::steady_clock::now();
    hash();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Sha256LibcryptoVsQt(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Data();
    double libcrypto = 0;
    double qt = 0;
    for (auto _ : state) {
        libcrypto += Seconds([&] {
            marlow::Sha256 hash;
            for (int i = 0; i < kChunks; ++i)
                hash.Update(bytes);
            benchmark::DoNotOptimize(hash.Final());
        });
        qt += Seconds([&] {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            for (int i = 0; i < kChunks; ++i)
                hash.addData(QByteArrayView(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size())));
            benchmark::DoNotOptimize(hash.result());
        });
    }
    const double megabytes = static_cast<double>(state.iterations()) * kChunks * kChunk / 1e6;
    state.counters["libcrypto_MBps"] = megabytes / libcrypto;
    state.counters["qt_MBps"] = megabytes / qt;
    state.counters["libcrypto_vs_qt"] = qt / libcrypto;
}

} // namespace

BENCHMARK(BM_Sha256LibcryptoVsQt)->Unit(benchmark::kMillisecond);
