// Host throughput of a whole PDA download of a 64 MiB image, against the
// boot loader emulator in-process and over the virtual USB bus socket. The
// yardstick is USB 2.0 high-speed bulk at its theoretical 53.248 MB/s: the
// host must never be what holds a handset back. Memory stays flat because
// images are streamed; see the counters and the project notes for the RSS
// comparison of a 1 MiB and a 1 GiB image.
//
// The virtual bus run alternates, iteration by iteration, with its anchor: a
// raw socket copy of the same frames in the same rhythm (see
// pda_download_raw_copy.h), so both meet the same machine load. The ratios
// speed_vs_raw (goal >= 0.95) and host_cpu_vs_raw (goal <= 1.1, the host's
// thread alone) compare like with like; cpu_vs_raw counts the emulator too.

#include "pda_download_raw_copy.h"

#include "emulators/in_process_usb.h"
#include "emulators/pda_bus_device.h"
#include "emulators/pda_in_process_device.h"
#include "pda/pda_download.h"
#include "usb/virtual_bus_source.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace marlow;

constexpr double kUsb2BulkMBps = 53.248;
using bench::ImagePath;
using bench::kImageBytes;

class NullSink : public pda::PdaEventSink {
public:
    void Post(const pda::PdaEvent&) override {}
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Report(benchmark::State& state, double cpuSeconds, std::uint64_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["cpu_s_per_100MB"] = cpuSeconds / (static_cast<double>(bytes) / 1e8);
    state.counters["MBps"] =
        benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsRate);
    state.counters["x_usb2_bulk"] = benchmark::Counter(
        static_cast<double>(bytes) / 1e6 / kUsb2BulkMBps, benchmark::Counter::kIsRate);
}

pda::PdaRunContext& RamRunContext() {
    static pda::PdaRunContext context(pda::PdaSettings{ImagePath(), pda::DownloadTarget::Ram});
    return context;
}

void BM_PdaDownloadInProcess(benchmark::State& state) {
    NullSink out;
    pda::PdaRunContext& context = RamRunContext();
    double cpu = 0;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        emulators::PdaEmulatorOptions options;
        options.keepBytesLimit = 0;
        emulators::PdaBootLoaderEmulator emulator(options);
        emulators::InProcessUsbPair pair = emulators::MakeInProcessUsbPair();
        emulators::AttachEmulator(*pair.device, emulator);
        usb::CUsbPipe pipe(std::move(pair.host));
        if (!pipe.OpenPipe())
            std::abort();
        const double before = CpuSeconds();
        state.ResumeTiming();

        const pda::PdaRunOutcome outcome = pda::RunPdaDownload(pipe, context, out);

        state.PauseTiming();
        cpu += CpuSeconds() - before;
        if (!outcome.Passed() || emulator.Report().ram.at(0).digest.Bytes() != kImageBytes)
            state.SkipWithError("download did not complete");
        bytes += kImageBytes;
        emulators::DetachEmulator(*pair.device);
        state.ResumeTiming();
    }
    Report(state, cpu, bytes);
}
BENCHMARK(BM_PdaDownloadInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// One handset on the virtual bus: the listener hands over its transport.
struct BusHandset {
    explicit BusHandset(const std::string& socketPath) : source(socketPath) {
        usb::DeviceEvents events;
        events.arrived = [this](std::unique_ptr<usb::UsbTransport> arrived) {
            std::lock_guard lock(mutex);
            transport = std::move(arrived);
            wake.notify_one();
        };
        events.removed = [](const std::string&) {};
        if (!source.Start(std::move(events)))
            std::abort();
    }
    std::unique_ptr<usb::UsbTransport> Take() {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return transport != nullptr; });
        return std::move(transport);
    }

    usb::VirtualBusSource source;
    std::mutex mutex;
    std::condition_variable wake;
    std::unique_ptr<usb::UsbTransport> transport;
};

double HostCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Both the download and the anchor run their host side on this thread and
// their device side on another.
struct Measured {
    double seconds = 0;
    double cpuSeconds = 0;     // the whole process: host, device, listener
    double hostCpuSeconds = 0; // this thread only
    void operator+=(const Measured& more) {
        seconds += more.seconds;
        cpuSeconds += more.cpuSeconds;
        hostCpuSeconds += more.hostCpuSeconds;
    }
};

template <typename Run> Measured Measure(Run run) {
    const double cpuBefore = CpuSeconds();
    const double hostBefore = HostCpuSeconds();
    const auto before = std::chrono::steady_clock::now();
    run();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count(),
            CpuSeconds() - cpuBefore, HostCpuSeconds() - hostBefore};
}

void BM_PdaDownloadVirtualBus(benchmark::State& state) {
    NullSink out;
    pda::PdaRunContext& context = RamRunContext();
    const bench::FrameScript& script = bench::DownloadScript();
    const std::string socketPath =
        (std::filesystem::temp_directory_path() / "marlow_bench_pda.sock").string();
    BusHandset bus(socketPath);
    Measured busTotal, rawTotal;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        const Measured raw = Measure([&] {
            if (!bench::CopyRaw(script))
                state.SkipWithError("the raw socket copy failed");
        });
        emulators::PdaEmulatorOptions options;
        options.keepBytesLimit = 0;
        emulators::PdaBootLoaderEmulator emulator(options);
        emulators::VirtualBusDevice device;
        if (const Status connected = device.Connect(socketPath, "bench handset"); !connected) {
            state.SkipWithError(connected.Error().c_str());
            break;
        }
        usb::CUsbPipe pipe(bus.Take());
        if (!pipe.OpenPipe())
            std::abort();
        pda::PdaRunOutcome outcome;
        const Measured run = Measure([&] {
            std::thread handset([&] { emulators::ServePdaEmulator(device, emulator); });
            outcome = pda::RunPdaDownload(pipe, context, out);
            handset.join();
        });
        if (!outcome.Passed() || emulator.Report().ram.at(0).digest.Bytes() != kImageBytes)
            state.SkipWithError("download did not complete");
        state.SetIterationTime(run.seconds);
        busTotal += run;
        rawTotal += raw;
        bytes += kImageBytes;
    }
    Report(state, busTotal.cpuSeconds, bytes);
    const double hundredMBs = static_cast<double>(bytes) / 1e8;
    state.counters["host_cpu_s_per_100MB"] = busTotal.hostCpuSeconds / hundredMBs;
    state.counters["raw_host_cpu_s_per_100MB"] = rawTotal.hostCpuSeconds / hundredMBs;
    state.counters["raw_MBps"] = static_cast<double>(bytes) / 1e6 / rawTotal.seconds;
    state.counters["speed_vs_raw"] = rawTotal.seconds / busTotal.seconds;
    state.counters["host_cpu_vs_raw"] = busTotal.hostCpuSeconds / rawTotal.hostCpuSeconds;
    state.counters["cpu_vs_raw"] = busTotal.cpuSeconds / rawTotal.cpuSeconds;
}
BENCHMARK(BM_PdaDownloadVirtualBus)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
