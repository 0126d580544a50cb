// What a user waits for: `marlow-cli pda`, with its whole-file check,
// downloading a 256 MiB image into RAM over the virtual bus to `marlow-cli
// emulate pda`, from the command's start until both processes have ended.
//
// The anchor is a raw copy of the same frames in the same rhythm, also as
// two processes of their own (this program started again in a role): a
// host that reads the image file once, hashes it with SHA-256 and sends the
// frames, waiting for a reply byte where the protocol does, and a device
// that takes the bytes and answers. Each iteration runs the anchor and then
// the download, so that both meet the same load; the ratios compare them
// within one run.

#include "bench_processes.h"
#include "pda_download_raw_copy.h"

#include "pda/boot_image_writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sys/socket.h>
#include <vector>

namespace {

using namespace marlow;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kImageBytes = 256u * 1024 * 1024;

// One run of a host and its device, each a process.
struct Measured {
    bool ok = true;
    double seconds = 0;
    double hostCpu = 0;
    double deviceCpu = 0;
    void Add(const Measured& more) {
        seconds += more.seconds;
        hostCpu += more.hostCpu;
        deviceCpu += more.deviceCpu;
    }
};

Measured Finish(pid_t host, pid_t device, Clock::time_point start) {
    const std::optional<double> hostCpu = bench::AwaitCpu(host);
    const std::optional<double> deviceCpu = bench::AwaitCpu(device);
    return {.ok = hostCpu && deviceCpu,
            .seconds = std::chrono::duration<double>(Clock::now() - start).count(),
            .hostCpu = hostCpu.value_or(0),
            .deviceCpu = deviceCpu.value_or(0)};
}

Measured RawCopy(const std::string& shapePath, const std::string& imagePath) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return {.ok = false};
    const std::string self = bench::SelfPath();
    const Clock::time_point start = Clock::now();
    const pid_t device = bench::StartQuiet(
        {self, std::string(bench::kRawDeviceRole), std::to_string(ends[1]), shapePath});
    const pid_t host = bench::StartQuiet(
        {self, std::string(bench::kRawHostRole), std::to_string(ends[0]), shapePath, imagePath});
    ::close(ends[0]);
    ::close(ends[1]);
    return Finish(host, device, start);
}

Measured MarlowDownload(const std::string& socketPath, const std::string& imagePath) {
    const Clock::time_point start = Clock::now();
    const pid_t tool = bench::StartQuiet({MARLOW_CLI, "pda", "--file", imagePath, "--bus",
                                          socketPath, "--wait", "60", "--timeout", "60"});
    const pid_t handset =
        bench::AwaitPath(socketPath)
            ? bench::StartQuiet({MARLOW_CLI, "emulate", "pda", "--bus", socketPath})
            : -1;
    return Finish(tool, handset, start);
}

void BM_PdaEndToEnd(benchmark::State& state) {
    const bench::ScratchFolder folder("marlow_bench_e2e_");
    const std::string imagePath = (folder.path / "image.bin").string();
    const std::string shapePath = (folder.path / "shape.txt").string();
    const std::string socketPath = (folder.path / "bus.sock").string();
    if (folder.path.empty() ||
        !pda::WriteGeneratedImage(imagePath, pda::GeneratedImageShape{.dataBytes = kImageBytes}) ||
        !bench::SaveShape(bench::RecordDownload(imagePath, false), shapePath)) {
        state.SkipWithError("cannot write the image or its frame shape");
        return;
    }
    Measured rawTotal, toolTotal;
    for (auto _ : state) {
        const Measured raw = RawCopy(shapePath, imagePath);
        const Measured tool = MarlowDownload(socketPath, imagePath);
        if (!raw.ok || !tool.ok) {
            state.SkipWithError(raw.ok ? "marlow-cli pda or its handset failed"
                                       : "the raw copy failed");
            break;
        }
        state.SetIterationTime(tool.seconds);
        rawTotal.Add(raw);
        toolTotal.Add(tool);
    }
    const double megabytes =
        static_cast<double>(kImageBytes) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["MBps"] = megabytes / toolTotal.seconds;
    state.counters["raw_MBps"] = megabytes / rawTotal.seconds;
    state.counters["speed_vs_raw"] = rawTotal.seconds / toolTotal.seconds;
    state.counters["host_cpu_vs_raw"] = toolTotal.hostCpu / rawTotal.hostCpu;
    state.counters["cpu_vs_raw"] =
        (toolTotal.hostCpu + toolTotal.deviceCpu) / (rawTotal.hostCpu + rawTotal.deviceCpu);
}
BENCHMARK(BM_PdaEndToEnd)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    return marlow::bench::RawCopyOrBenchmarks(argc, argv);
}
