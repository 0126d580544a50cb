#pragma once
// SIGINT, SIGTERM and SIGHUP stop a command the way the operator's stop
// does: the handset is released, files are closed, and the exit code is
// 128 + the signal (130 for Ctrl-C, 143 for SIGTERM from `timeout`, CI
// runners and service managers, 129 for a closed terminal).
//
// The handler only notes the signal and writes its number into a pipe; a
// watcher thread reads the pipe and runs the command's stop as ordinary
// code, usually by posting a task into the command's event loop. The
// handler is process-wide, so it works whichever thread the signal hits.

#include <functional>
#include <thread>

namespace marlow::cli {

class StopSignal {
public:
    // `onStop` runs once, on the watcher thread, at the first signal. One
    // StopSignal at a time; the previous handlers come back when it goes.
    explicit StopSignal(std::function<void()> onStop);
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // What the handler does, from ordinary code: a closed stdout stops the
    // command as if SIGPIPE had come, without the signal's sudden death.
    // Does nothing beyond noting it while no StopSignal is alive.
    static void Raise(int signal);

    bool Raised() const { return Signal() != 0; }
    int Signal() const;
    // 128 + the signal; 0 while none came.
    int ExitCode() const;

private:
    std::function<void()> onStop_;
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
};

} // namespace marlow::cli
