// A station's PDA throughput: `marlow-cli station` serving 8 PDA-only slots
// of `marlow-cli emulate station --slots 8`, one handset a slot, each
// downloading the same 128 MiB boot image into flash, from the station's
// start until both processes have ended.
//
// The anchor is 8 raw copies side by side, each two processes of their own
// (this program started again in a role, as in bench_pda_end_to_end): a
// host that reads the image, hashes it with SHA-256 and sends the same
// frames in the same rhythm over a Unix socket, and a device that takes
// them and answers. The same station with one slot and one handset is the
// yardstick for the host's CPU per megabyte: eight slots should cost each
// megabyte no more than one slot does. Each iteration runs the anchor, the
// 8-slot station and the 1-slot station in turn, so that all three meet
// the same load.

#include "bench_processes.h"
#include "pda_download_raw_copy.h"

#include "pda/boot_image_writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace marlow;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kImageBytes = 128u * 1024 * 1024;
constexpr int kSlots = 8;

struct Measured {
    bool ok = true;
    double seconds = 0;
    double hostCpu = 0;
    double deviceCpu = 0;
    double servingSeconds = 0; // from the station's bus being there to the end
    void Add(const Measured& more) {
        seconds += more.seconds;
        servingSeconds += more.servingSeconds;
        hostCpu += more.hostCpu;
        deviceCpu += more.deviceCpu;
    }
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// `copies` raw copies at once; the time until the last has ended.
Measured RawCopies(int copies, const std::string& shapePath, const std::string& imagePath) {
    const std::string self = bench::SelfPath();
    std::vector<pid_t> hosts, devices;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < copies; ++i) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
            return {.ok = false};
        devices.push_back(bench::StartQuiet(
            {self, std::string(bench::kRawDeviceRole), std::to_string(ends[1]), shapePath}));
        hosts.push_back(bench::StartQuiet({self, std::string(bench::kRawHostRole),
                                           std::to_string(ends[0]), shapePath, imagePath}));
        ::close(ends[0]);
        ::close(ends[1]);
    }
    Measured measured;
    for (const pid_t host : hosts) {
        const std::optional<double> cpu = bench::AwaitCpu(host);
        measured.ok = measured.ok && cpu;
        measured.hostCpu += cpu.value_or(0);
    }
    for (const pid_t device : devices) {
        const std::optional<double> cpu = bench::AwaitCpu(device);
        measured.ok = measured.ok && cpu;
        measured.deviceCpu += cpu.value_or(0);
    }
    measured.seconds = SecondsSince(start);
    return measured;
}

// A station of `slots` PDA-only slots flashing one handset each.
struct Station {
    std::filesystem::path folder;
    int slots = 0;
    std::string conf() const {
        return (folder / ("station" + std::to_string(slots) + ".conf")).string();
    }
};

bool WriteStationFile(const Station& station, const std::string& imagePath) {
    std::ofstream out(station.conf());
    for (int slot = 1; slot <= station.slots; ++slot)
        out << "[slot " << slot << "]\nport = 1-1." << slot << "\nmode = pda\npda = " << imagePath
            << "\n\n";
    return static_cast<bool>(out.flush());
}

Measured RunStation(const Station& station) {
    const std::string bus = (station.folder / "bus.sock").string();
    std::filesystem::remove(bus);
    const std::string count = std::to_string(station.slots);
    const Clock::time_point start = Clock::now();
    const pid_t host = bench::StartQuiet(
        {MARLOW_CLI, "station", station.conf(), "--bus", bus, "--handsets", count, "--run-store",
         (station.folder / "runs.sqlite").string(), "--library", MARLOW_DOWNLOAD_LIBRARY});
    const bool listening = bench::AwaitPath(bus);
    const Clock::time_point serving = Clock::now();
    const pid_t fixture =
        listening
            ? bench::StartQuiet({MARLOW_CLI, "emulate", "station", "--slots", count, "--bus", bus,
                                 "--root", (station.folder / "root").string(), "--handsets", count})
            : -1;
    const std::optional<double> hostCpu = bench::AwaitCpu(host);
    const std::optional<double> fixtureCpu = bench::AwaitCpu(fixture);
    return {.ok = hostCpu && fixtureCpu,
            .seconds = SecondsSince(start),
            .hostCpu = hostCpu.value_or(0),
            .deviceCpu = fixtureCpu.value_or(0),
            .servingSeconds = SecondsSince(serving)};
}

void BM_StationPda(benchmark::State& state) {
    const bench::ScratchFolder folder("marlow_bench_station_");
    const std::string imagePath = (folder.path / "image.bin").string();
    const std::string shapePath = (folder.path / "shape.txt").string();
    // The station's settings, run store and published ports stay in here.
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        ::setenv(name, folder.path.c_str(), 1);
    ::setenv("MARLOW_SYSFS_ROOT", (folder.path / "root").c_str(), 1);
    const Station eight{folder.path, kSlots};
    const Station one{folder.path, 1};
    if (folder.path.empty() ||
        !pda::WriteGeneratedImage(imagePath, pda::GeneratedImageShape{.dataBytes = kImageBytes}) ||
        !bench::SaveShape(bench::RecordDownload(imagePath, false, pda::DownloadTarget::Flash),
                          shapePath) ||
        !WriteStationFile(eight, imagePath) || !WriteStationFile(one, imagePath)) {
        state.SkipWithError("cannot write the image, its frame shape or the station files");
        return;
    }
    Measured rawTotal, eightTotal, oneTotal;
    for (auto _ : state) {
        const Measured raw = RawCopies(kSlots, shapePath, imagePath);
        const Measured slots8 = RunStation(eight);
        const Measured slots1 = RunStation(one);
        if (!raw.ok || !slots8.ok || !slots1.ok) {
            state.SkipWithError(raw.ok ? "marlow-cli station or its fixture failed"
                                       : "a raw copy failed");
            break;
        }
        state.SetIterationTime(slots8.seconds);
        rawTotal.Add(raw);
        eightTotal.Add(slots8);
        oneTotal.Add(slots1);
    }
    const double megabytes =
        static_cast<double>(kImageBytes) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["MBps"] = kSlots * megabytes / eightTotal.seconds;
    state.counters["raw_MBps"] = kSlots * megabytes / rawTotal.seconds;
    state.counters["one_slot_MBps"] = megabytes / oneTotal.seconds;
    state.counters["speed_vs_raw"] = rawTotal.seconds / eightTotal.seconds;
    // The same without the station's start (its files' check before it
    // listens), which a station pays once a shift, not once a handset.
    state.counters["serving_speed_vs_raw"] = rawTotal.seconds / eightTotal.servingSeconds;
    state.counters["host_cpu_vs_raw"] = eightTotal.hostCpu / rawTotal.hostCpu;
    state.counters["device_cpu_vs_raw"] = eightTotal.deviceCpu / rawTotal.deviceCpu;
    state.counters["host_cpu_per_MB_8_vs_1"] =
        (eightTotal.hostCpu / (kSlots * megabytes)) / (oneTotal.hostCpu / megabytes);
}
BENCHMARK(BM_StationPda)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    return marlow::bench::RawCopyOrBenchmarks(argc, argv);
}
