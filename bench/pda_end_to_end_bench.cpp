// What a user waits for: `marlow-cli pda`, with its whole-file check,
// downloading the 64 MiB image into RAM over the virtual bus to `marlow-cli
// emulate pda`, from the command's start until both processes have ended.
//
// The anchor is a raw copy of the same frames in the same rhythm, also as
// two processes of their own (this program started again in a role): a
// host that reads the image file as it sends, waiting for a reply byte
// where the protocol does, and a device that takes the bytes and answers.
// Each iteration runs the anchor and then the download, so that both meet
// the same load; speed_vs_raw and cpu_vs_raw compare them within one run.

#include "pda_download_raw_copy.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
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

struct Ended {
    bool ok = true;        // every process started and exited with 0
    double cpuSeconds = 0; // theirs, user and system
};

void Await(pid_t pid, Ended& ended) {
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        ended.ok = false;
    ended.cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
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

struct Measured {
    Ended ended;
    double seconds = 0;
};

Measured RawCopy(const std::string& shapePath) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return {{.ok = false}, 0};
    const std::string self = SelfPath();
    const Clock::time_point start = Clock::now();
    const pid_t device =
        Start({self, std::string(kDeviceRole), std::to_string(ends[1]), shapePath});
    const pid_t host = Start(
        {self, std::string(kHostRole), std::to_string(ends[0]), shapePath, bench::ImagePath()});
    ::close(ends[0]);
    ::close(ends[1]);
    Measured measured;
    Await(host, measured.ended);
    Await(device, measured.ended);
    measured.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return measured;
}

Measured MarlowDownload(const std::string& socketPath) {
    const Clock::time_point start = Clock::now();
    const pid_t tool = Start({MARLOW_CLI, "pda", "--file", bench::ImagePath(), "--bus", socketPath,
                              "--wait", "60", "--timeout", "60"});
    Measured measured;
    const pid_t handset =
        AwaitPath(socketPath) ? Start({MARLOW_CLI, "emulate", "pda", "--bus", socketPath}) : -1;
    Await(tool, measured.ended);
    Await(handset, measured.ended);
    measured.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return measured;
}

void BM_PdaEndToEnd(benchmark::State& state) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string shapePath = (folder / "marlow_bench_pda_shape.txt").string();
    const std::string socketPath = (folder / "marlow_bench_e2e.sock").string();
    if (!bench::SaveShape(bench::DownloadScript(), shapePath)) {
        state.SkipWithError("cannot write the frame shape");
        return;
    }
    Measured rawTotal, toolTotal;
    for (auto _ : state) {
        const Measured raw = RawCopy(shapePath);
        const Measured tool = MarlowDownload(socketPath);
        if (!raw.ended.ok || !tool.ended.ok) {
            state.SkipWithError(raw.ended.ok ? "marlow-cli pda or its handset failed"
                                             : "the raw copy failed");
            break;
        }
        state.SetIterationTime(tool.seconds);
        rawTotal.seconds += raw.seconds;
        rawTotal.ended.cpuSeconds += raw.ended.cpuSeconds;
        toolTotal.seconds += tool.seconds;
        toolTotal.ended.cpuSeconds += tool.ended.cpuSeconds;
    }
    std::filesystem::remove(shapePath);
    const double megabytes =
        static_cast<double>(bench::kImageBytes) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["MBps"] = megabytes / toolTotal.seconds;
    state.counters["raw_MBps"] = megabytes / rawTotal.seconds;
    state.counters["speed_vs_raw"] = rawTotal.seconds / toolTotal.seconds;
    state.counters["cpu_vs_raw"] = toolTotal.ended.cpuSeconds / rawTotal.ended.cpuSeconds;
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
