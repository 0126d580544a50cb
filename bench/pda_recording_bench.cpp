// What recording costs a user: `marlow-cli pda` of a 256 MiB image into RAM
// over the virtual bus to `marlow-cli emulate pda`, each run as the user
// starts it (a shell, two processes), with recording off (RunRecords=off)
// and on (a run store of its own). Each iteration runs both, off first, so
// that both meet the same load; the ratios compare them within one run.

#include "pda/boot_image_writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kImageBytes = 256u * 1024 * 1024;

double ChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Took {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0; // the shell's and both programs'
};

// One download as a script runs it: the command waits for its handset, the
// handset starts once the command's bus is there.
Took Download(const fs::path& folder, const std::string& settings, const std::string& extra) {
    const std::string bus = (folder / "bus.sock").string();
    fs::remove(bus);
    const std::string cli = MARLOW_CLI;
    const std::string script = "export XDG_CONFIG_HOME='" + settings + "' XDG_DATA_HOME='" +
                               folder.string() + "'; '" + cli + "' pda --file '" +
                               (folder / "big.bin").string() + "' --bus '" + bus +
                               "' --wait 60 --timeout 60 " + extra + " 2>/dev/null & p=$!; " +
                               "while [ ! -S '" + bus + "' ]; do sleep 0.01; done; '" + cli +
                               "' emulate pda --bus '" + bus + "' >/dev/null 2>&1 && wait $p";
    const double cpuBefore = ChildrenCpuSeconds();
    const Clock::time_point start = Clock::now();
    const int status = std::system(script.c_str());
    return {.ok = status == 0,
            .seconds = std::chrono::duration<double>(Clock::now() - start).count(),
            .cpuSeconds = ChildrenCpuSeconds() - cpuBefore};
}

void BM_PdaRecordingOnVsOff(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "marlow_bench_recording";
    fs::remove_all(folder);
    fs::create_directories(folder / "off" / "Korvane");
    std::ofstream(folder / "off" / "Korvane" / "Marlow.conf") << "[General]\nRunRecords=off\n";
    fs::create_directories(folder / "on");
    const fs::path store = folder / "runs.sqlite";
    if (!marlow::pda::WriteGeneratedImage((folder / "big.bin").string(),
                                          {.dataBytes = kImageBytes})) {
        state.SkipWithError("cannot write the image");
        return;
    }
    Took off, on;
    for (auto _ : state) {
        const Took a = Download(folder, (folder / "off").string(), "");
        const Took b =
            Download(folder, (folder / "on").string(), "--run-store '" + store.string() + "'");
        if (!a.ok || !b.ok) {
            state.SkipWithError("marlow-cli pda or its handset failed");
            break;
        }
        state.SetIterationTime(b.seconds);
        off.seconds += a.seconds;
        off.cpuSeconds += a.cpuSeconds;
        on.seconds += b.seconds;
        on.cpuSeconds += b.cpuSeconds;
    }
    std::uintmax_t storeBytes = 0;
    for (const char* suffix : {"", "-wal", "-shm"})
        if (fs::exists(store.string() + suffix))
            storeBytes += fs::file_size(store.string() + suffix);
    fs::remove_all(folder);
    state.counters["speed_on_vs_off"] = off.seconds / on.seconds;
    state.counters["cpu_on_vs_off"] = on.cpuSeconds / off.cpuSeconds;
    state.counters["store_bytes_per_record"] =
        static_cast<double>(storeBytes) / static_cast<double>(state.iterations());
    state.counters["MBps_on"] = static_cast<double>(kImageBytes) *
                                static_cast<double>(state.iterations()) / 1e6 / on.seconds;
}
BENCHMARK(BM_PdaRecordingOnVsOff)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
