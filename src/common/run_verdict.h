#pragma once
// How a run ended. Every run of an engine (PDA download, phone download,
// UART loader) ends in exactly one verdict with its reason; receivers never
// infer it from texts.

#include <string>

namespace marlow {

enum class Verdict {
    Passed,        // the job was done and nothing failed
    Failed,        // the device, a file, the wire or a time-out failed it
    Stopped,       // the operator's stop (or a stop signal)
    DeviceRemoved, // the device left before the job was done
};

// "passed", "failed", "stopped", "device-removed": stable names for JSON.
constexpr const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return "passed";
    case Verdict::Failed:
        return "failed";
    case Verdict::Stopped:
        return "stopped";
    case Verdict::DeviceRemoved:
        return "device-removed";
    }
    return "failed";
}

// The last event of every run.
struct RunFinished {
    Verdict verdict = Verdict::Failed;
    std::string reason; // empty when passed
    bool operator==(const RunFinished&) const = default;
};

} // namespace marlow
