// Host throughput of a whole PDA download of a 64 MiB image, against the
// boot loader emulator in-process and over the virtual USB bus socket. The
// yardstick is USB 2.0 high-speed bulk at its theoretical 53.248 MB/s: the
// host must never be what holds a handset back. Memory stays flat because
// images are streamed; see the counters and the project notes for the RSS
// comparison of a 1 MiB and a 1 GiB image.

#include "emulators/pda_bus_device.h"
#include "emulators/pda_inprocess_device.h"
#include "hotplug/virtual_bus_source.h"
#include "pda/boot_image_writer.h"
#include "pda/inprocess_transport.h"
#include "pda/pda_download.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace marlow;

constexpr double kUsb2BulkMBps = 53.248;
constexpr std::uint32_t kImageBytes = 64u * 1024 * 1024;

class NullPresentation : public pda::PdaPresentation {
public:
    void DeviceStateTrace(std::string_view) override {}
    void ClearDeviceState() override {}
    void DebugMessage(std::string_view) override {}
    void StatusBar(std::string_view) override {}
    void CreateDownloadProgress(int, int) override {}
    void SetDownloadProgress(int) override {}
    void CloseDownloadProgress() override {}
    void ShowWaitDialog() override {}
    void CloseWaitDialog() override {}
    void PanelStatus(std::string_view) override {}
    void PanelFileName(std::string_view) override {}
    void PanelPercent(std::string_view) override {}
    void PanelCounter(std::string_view) override {}
    void PanelProgressRange(int, int) override {}
    void PanelProgress(int) override {}
    void PanelEnableClose() override {}
    void PanelEnableDownStart() override {}
    void PanelEventList(std::string_view) override {}
    void MessageBox(std::string_view, std::string_view) override {}
    void Progress(const pda::PdaProgressEvent&) override {}
};

const std::string& ImagePath() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "marlow_bench_pda_64mib.bin").string();
        pda::GeneratedImageShape shape;
        shape.dataBytes = kImageBytes;
        std::string error;
        if (!pda::WriteGeneratedImage(file, shape, &error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", file.c_str(), error.c_str());
            std::abort();
        }
        return file;
    }();
    return path;
}

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
    NullPresentation out;
    pda::PdaRunContext& context = RamRunContext();
    double cpu = 0;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        emulators::PdaEmulatorOptions options;
        options.keepBytesLimit = 0;
        emulators::PdaBootLoaderEmulator emulator(options);
        pda::InProcessPair pair = pda::MakeInProcessPair();
        emulators::AttachEmulator(*pair.device, emulator);
        pda::CUsbPipe pipe(std::move(pair.host));
        pipe.OpenPipe();
        const double before = CpuSeconds();
        state.ResumeTiming();

        const pda::PdaRunOutcome outcome = pda::RunPdaDownload(pipe, context, out);

        state.PauseTiming();
        cpu += CpuSeconds() - before;
        if (!outcome.completed || emulator.Report().ram.at(0).digest.Bytes() != kImageBytes)
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
        hotplug::DeviceEvents events;
        events.arrived = [this](std::unique_ptr<pda::UsbTransport> arrived) {
            std::lock_guard lock(mutex);
            transport = std::move(arrived);
            wake.notify_one();
        };
        events.removed = [](const std::string&) {};
        std::string error;
        if (!source.Start(std::move(events), &error))
            std::abort();
    }
    std::unique_ptr<pda::UsbTransport> Take() {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return transport != nullptr; });
        return std::move(transport);
    }

    hotplug::VirtualBusSource source;
    std::mutex mutex;
    std::condition_variable wake;
    std::unique_ptr<pda::UsbTransport> transport;
};

void BM_PdaDownloadVirtualBus(benchmark::State& state) {
    NullPresentation out;
    pda::PdaRunContext& context = RamRunContext();
    const std::string socketPath =
        (std::filesystem::temp_directory_path() / "marlow_bench_pda.sock").string();
    BusHandset bus(socketPath);
    double cpu = 0;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        emulators::PdaEmulatorOptions options;
        options.keepBytesLimit = 0;
        emulators::PdaBootLoaderEmulator emulator(options);
        emulators::VirtualBusDevice device;
        std::string error;
        if (!device.Connect(socketPath, "bench handset", &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        pda::CUsbPipe pipe(bus.Take());
        pipe.OpenPipe();
        std::thread handset([&] { emulators::ServePdaEmulator(device, emulator); });
        const double before = CpuSeconds();
        state.ResumeTiming();

        const pda::PdaRunOutcome outcome = pda::RunPdaDownload(pipe, context, out);

        state.PauseTiming();
        handset.join();
        cpu += CpuSeconds() - before;
        if (!outcome.completed || emulator.Report().ram.at(0).digest.Bytes() != kImageBytes)
            state.SkipWithError("download did not complete");
        bytes += kImageBytes;
        state.ResumeTiming();
    }
    Report(state, cpu, bytes);
}
BENCHMARK(BM_PdaDownloadVirtualBus)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
