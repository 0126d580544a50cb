// One partition through the real serial port class and a pseudo-terminal to
// the handset emulator, as the loader runs it.
//
// Unpaced (2 MiB): what the tool itself costs per 2048-byte frame, above
// all how long it takes to see an acknowledgement that has arrived.
// Paced (32 KiB, the emulator keeping to a 115200-baud cable): how close
// the transfer comes to the line rate of 115200 / 11 = 10,472 bytes/s. A
// 10 ms read poll would add 10 ms to each of 512 frames, 5 s per MiB.

#include "emulators/uart_handset_emulator.h"
#include "emulators/uart_line_pacer.h"
#include "emulators/uart_pty.h"
#include "uartloader/loader_session.h"
#include "uartloader/uart_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace marlow;
using namespace marlow::uartloader;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFrameBytes = 2048 + 4;
constexpr std::size_t kHeaderBytes = 16;
constexpr double kLineBytesPerSecond = 115200.0 / 11.0;

struct TransferTimes {
    Clock::time_point headerSent{};
    Clock::time_point lastAck{};
    std::vector<double> ackWaitsUs; // from a frame written to its acknowledgement taken
};

// Times the frame/acknowledgement rhythm of a run without touching it.
class TimedPort final : public UartTransport {
public:
    TimedPort(std::unique_ptr<UartTransport> inner, TransferTimes& times)
        : inner_(std::move(inner)), times_(times) {}

    marlow::Result<PortOpened> Open(const LineSettings& s) override { return inner_->Open(s); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    void RequestClose() override { inner_->RequestClose(); }
    std::string PortName() const override { return inner_->PortName(); }

    LinkStatus TransmitData(std::span<const std::uint8_t> bytes) override {
        const LinkStatus status = inner_->TransmitData(bytes);
        lastWrite_ = bytes.size();
        lastWriteEnd_ = Clock::now();
        if (bytes.size() == kHeaderBytes)
            times_.headerSent = lastWriteEnd_;
        return status;
    }
    LinkStatus ReceiveData(std::span<std::uint8_t> into, std::chrono::milliseconds t) override {
        const LinkStatus status = inner_->ReceiveData(into, t);
        if (lastWrite_ == kFrameBytes && into.size() == 4) {
            const auto now = Clock::now();
            times_.ackWaitsUs.push_back(
                std::chrono::duration<double, std::micro>(now - lastWriteEnd_).count());
            times_.lastAck = now;
        }
        lastWrite_ = 0;
        return status;
    }

private:
    std::unique_ptr<UartTransport> inner_;
    TransferTimes& times_;
    std::size_t lastWrite_ = 0;
    Clock::time_point lastWriteEnd_{};
};

// Keeps only the run's end.
class EndSink final : public LoaderSink {
public:
    void Post(const LoaderEvent& event) override {
        if (const auto* finished = std::get_if<RunFinished>(&event))
            verdict = finished->verdict;
    }
    std::optional<Verdict> verdict;
};

void WriteFile(const std::filesystem::path& path, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 11));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TransferTimes RunPartition(std::size_t partitionBytes, std::uint32_t paceBaudRate,
                           benchmark::State& state) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("marlow-uart-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    LoaderSettings settings = LoaderSettings::Defaults();
    for (std::size_t row = 0; row < 8; ++row) {
        settings.rows[row].path = (dir / ("row" + std::to_string(row))).string();
        WriteFile(settings.rows[row].path, row == 3 ? partitionBytes : 16);
    }

    auto created = emulators::UartPty::Create();
    if (!created) {
        state.SkipWithError(created.Error().c_str());
        return {};
    }
    auto pty = std::move(*created);
    emulators::UartEmulatorOptions options;
    options.script = *emulators::ParseUartScript("flash:xloader,done:ok");
    options.keepData = false;
    options.paceBaudRate = paceBaudRate;
    emulators::UartEmulatorReport report;
    std::thread handset([&] { report = emulators::UartHandsetEmulator(options).Run(*pty); });

    TransferTimes times;
    EndSink sink;
    {
        UartLoaderSession session(sink, [&times](const std::string& name) {
            return std::make_unique<TimedPort>(std::make_unique<CUartPort>(name), times);
        });
        session.Settings() = settings;
        session.SetTotalWriteMode(false);
        session.Settings().port = pty->SlavePath();
        if (session.Connect())
            session.WaitForRunEnd();
    }
    handset.join();
    std::filesystem::remove_all(dir);
    if (sink.verdict != Verdict::Passed || !report.Passed())
        state.SkipWithError(("run failed: " + report.end).c_str());
    return times;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

void Report(benchmark::State& state, const TransferTimes& t, std::size_t bytes, double lineUs) {
    const double seconds = std::chrono::duration<double>(t.lastAck - t.headerSent).count();
    const double waitUs = std::accumulate(t.ackWaitsUs.begin(), t.ackWaitsUs.end(), 0.0);
    std::vector<double> latencies;
    for (double w : t.ackWaitsUs)
        latencies.push_back(std::max(0.0, w - lineUs));
    state.SetIterationTime(seconds);
    state.counters["frames"] = static_cast<double>(t.ackWaitsUs.size());
    state.counters["transfer_s"] = seconds;
    state.counters["ack_wait_s"] = waitUs / 1e6;
    state.counters["ack_latency_mean_us"] =
        latencies.empty() ? 0
                          : std::accumulate(latencies.begin(), latencies.end(), 0.0) /
                                static_cast<double>(latencies.size());
    state.counters["ack_latency_p50_us"] = Percentile(latencies, 0.5);
    state.counters["ack_latency_p99_us"] = Percentile(latencies, 0.99);
    state.counters["ack_latency_max_us"] = Percentile(latencies, 1.0);
    state.counters["payload_Bps"] = static_cast<double>(bytes) / seconds;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["max_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// As fast as the pseudo-terminal goes: the tool's own cost per frame.
void BM_Partition2MiBUnpaced(benchmark::State& state) {
    constexpr std::size_t kBytes = 2 << 20;
    for (auto _ : state)
        Report(state, RunPartition(kBytes, 0, state), kBytes, 0);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

// The handset at the pace of a 115200-baud cable: what the line allows.
void BM_Partition32KiBAtLineRate(benchmark::State& state) {
    constexpr std::size_t kBytes = 32 << 10;
    const emulators::UartLinePacer pacer(115200);
    const double lineUs =
        std::chrono::duration<double, std::micro>(pacer.ByteTime(kFrameBytes + 4)).count();
    for (auto _ : state) {
        const TransferTimes t = RunPartition(kBytes, 115200, state);
        Report(state, t, kBytes, lineUs);
        const double seconds = std::chrono::duration<double>(t.lastAck - t.headerSent).count();
        const double frames = static_cast<double>(t.ackWaitsUs.size());
        const double wireBytes = frames * (kFrameBytes + 4) + kHeaderBytes + 4;
        state.counters["line_use_pct"] = 100.0 * wireBytes / kLineBytesPerSecond / seconds;
        state.counters["payload_pct_of_10472"] =
            100.0 * static_cast<double>(kBytes) / seconds / kLineBytesPerSecond;
        state.counters["s_per_MiB_extrapolated"] =
            seconds / static_cast<double>(kBytes) * (1 << 20);
    }
}

} // namespace

BENCHMARK(BM_Partition2MiBUnpaced)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_Partition32KiBAtLineRate)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
