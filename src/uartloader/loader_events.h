#pragma once
// What the UART loader shows, as typed events: the run log (control 1083),
// the nine progress bars (bar 8 is "Total Download"), the "Current Download
// File" label (1133), message boxes, the "Connect" button, and diagnostics
// that are not part of the log (why a step failed, port warnings).
//
// A GUI routes each event to its control (queued to the UI thread, never a
// blocking call: the UI thread may be waiting for the worker); the CLI prints
// them; tests record them and compare whole sequences.
//
// Every "Connect" that starts a run ends it with exactly one RunFinished, its
// last event: passed (the handset sent its done message), failed (a step
// failed, or the port did not open) or stopped (the port was disconnected
// under the run), with the reason the failing step gave.

#include "common/run_verdict.h"

#include <string>
#include <variant>

namespace marlow::uartloader {

inline constexpr int kProgressBarCount = 9;
inline constexpr int kTotalDownloadBar = 8;

// "Connect" selects the whole log, so the next text replaces everything.
struct LogCleared {
    bool operator==(const LogCleared&) const = default;
};
// Text appended to the log exactly as the operator sees it ("\r\n" kept).
struct LogAppended {
    std::string text;
    bool operator==(const LogAppended&) const = default;
};
struct ProgressChanged {
    int bar = 0;     // 0 to 8
    int percent = 0; // 0 to 100
    bool operator==(const ProgressChanged&) const = default;
};
struct CurrentFileChanged {
    std::string text;
    bool operator==(const CurrentFileChanged&) const = default;
};
// What the label shows once a run has let go of its port: no file.
inline constexpr const char* kPortDisconnectedLabel = "Comport is disconnected.";
struct MessageBoxShown {
    std::string text;
    bool operator==(const MessageBoxShown&) const = default;
};
struct ConnectEnabled {
    bool enabled = true;
    bool operator==(const ConnectEnabled&) const = default;
};
struct Diagnostic {
    std::string text;
    bool operator==(const Diagnostic&) const = default;
};

using LoaderEvent = std::variant<LogCleared, LogAppended, ProgressChanged, CurrentFileChanged,
                                 MessageBoxShown, ConnectEnabled, Diagnostic, RunFinished>;

class LoaderSink {
public:
    virtual ~LoaderSink() = default;
    // Called from the UI thread and from the worker, one call at a time and
    // in order. It must not call back into the session.
    virtual void Post(const LoaderEvent& event) = 0;
};

// One line per event for people ("log: ...", "bar 3: 50%"), texts escaped.
std::string DescribeEvent(const LoaderEvent& event);

} // namespace marlow::uartloader
