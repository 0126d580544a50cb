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

#include "pda_download_raw_copy.h"

#include "pda/boot_image_writer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string_view>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace marlow;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kHostRole = "--raw-host";     // SOCKET-FD SHAPE IMAGE
constexpr std::string_view kDeviceRole = "--raw-device"; // SOCKET-FD SHAPE
constexpr std::uint32_t kImageBytes = 256u * 1024 * 1024;

std::string SelfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

// Starts `argv` with its output thrown away; -1 when it could not start.
pid_t Start(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
}

// Whether it started and exited with 0, and its CPU seconds (user and system).
std::optional<double> Await(pid_t pid) {
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Sleeps until `path` exists (the listener's socket appears only once it
// accepts), or ten seconds have passed.
bool AwaitPath(const std::string& path) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    ::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO);
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
    bool there = false;
    while (!(there = ::access(path.c_str(), F_OK) == 0) && Clock::now() < giveUp) {
        pollfd events{watch, POLLIN, 0};
        if (::poll(&events, 1, 100) > 0) {
            std::array<char, 4096> drained{};
            [[maybe_unused]] const ssize_t n = ::read(watch, drained.data(), drained.size());
        }
    }
    ::close(watch);
    return there;
}

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
    const std::optional<double> hostCpu = Await(host);
    const std::optional<double> deviceCpu = Await(device);
    return {.ok = hostCpu && deviceCpu,
            .seconds = std::chrono::duration<double>(Clock::now() - start).count(),
            .hostCpu = hostCpu.value_or(0),
            .deviceCpu = deviceCpu.value_or(0)};
}

Measured RawCopy(const std::string& shapePath, const std::string& imagePath) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return {.ok = false};
    const std::string self = SelfPath();
    const Clock::time_point start = Clock::now();
    const pid_t device =
        Start({self, std::string(kDeviceRole), std::to_string(ends[1]), shapePath});
    const pid_t host =
        Start({self, std::string(kHostRole), std::to_string(ends[0]), shapePath, imagePath});
    ::close(ends[0]);
    ::close(ends[1]);
    return Finish(host, device, start);
}

Measured MarlowDownload(const std::string& socketPath, const std::string& imagePath) {
    const Clock::time_point start = Clock::now();
    const pid_t tool = Start({MARLOW_CLI, "pda", "--file", imagePath, "--bus", socketPath, "--wait",
                              "60", "--timeout", "60"});
    const pid_t handset =
        AwaitPath(socketPath) ? Start({MARLOW_CLI, "emulate", "pda", "--bus", socketPath}) : -1;
    return Finish(tool, handset, start);
}

// A folder of the benchmark's own in the temporary folder, gone at its end.
struct ScratchFolder {
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "marlow_bench_e2e_XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ~ScratchFolder() {
        if (!path.empty() && !std::getenv("TMPKEEP"))
            std::filesystem::remove_all(path);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::filesystem::path path;
};

void BM_PdaEndToEnd(benchmark::State& state) {
    const ScratchFolder folder;
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

int RunRole(int argc, char** argv) {
    const std::string_view role = argv[1];
    const std::optional<bench::FrameScript> shape =
        argc >= 4 ? bench::LoadShape(argv[3]) : std::nullopt;
    if (!shape)
        return 2;
    const int fd = std::stoi(argv[2]);
    if (role == kDeviceRole) {
        bench::CopyRawDevice(fd, *shape);
        return 0;
    }
    return argc == 5 && bench::CopyRawHost(fd, *shape, argv[4]) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (argv[1] == kHostRole || argv[1] == kDeviceRole))
        return RunRole(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
