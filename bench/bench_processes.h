#pragma once
// What the benchmarks that time whole programs share: starting a program
// quietly, awaiting it with its CPU time, waiting for a socket to appear,
// and a scratch folder of their own.

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace marlow::bench {

// This program's own path, to start it again in a role.
std::string SelfPath();

// Starts `argv` with its output thrown away; -1 when it could not start.
pid_t StartQuiet(std::vector<std::string> argv);

// Whether it started and exited with 0, and its CPU seconds (user and system).
std::optional<double> AwaitCpu(pid_t pid);

// Sleeps until `path` exists (a listener's socket appears only once it
// accepts), or ten seconds have passed.
bool AwaitPath(const std::string& path);

// A benchmark program's main: one end of a raw copy when argv names its
// role (RunRawCopyRole), else the benchmarks.
int RawCopyOrBenchmarks(int argc, char** argv);

// A folder of the benchmark's own in the temporary folder, gone at its end
// (kept when TMPKEEP is set).
struct ScratchFolder {
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::filesystem::path path;
};

} // namespace marlow::bench
