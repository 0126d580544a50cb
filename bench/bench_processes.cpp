#include "bench_processes.h"
#include "pda_download_raw_copy.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace marlow::bench {

std::string SelfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

pid_t StartQuiet(std::vector<std::string> argv) {
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

std::optional<double> AwaitCpu(pid_t pid) {
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool AwaitPath(const std::string& path) {
    using Clock = std::chrono::steady_clock;
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

ScratchFolder::ScratchFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr)
        path = pattern;
}

ScratchFolder::~ScratchFolder() {
    if (!path.empty() && !std::getenv("TMPKEEP"))
        std::filesystem::remove_all(path);
}

int RawCopyOrBenchmarks(int argc, char** argv) {
    if (const std::optional<int> role = RunRawCopyRole(argc, argv))
        return *role;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace marlow::bench
