#pragma once
// One end of the modem's serial link: a raw 8N1 port (the library's side) or
// a pseudo-terminal master (the emulator's side). Every wait can be cut
// short from another thread with Interrupt, so no thread ever has to be
// killed to stop a transfer.

#include "common/result.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace marlow::modemlink {

enum class LineStatus {
    Ok,
    TimedOut,
    Stopped, // Interrupt() was called
    Closed,  // the other side has gone
    Failed,  // an I/O error
};

const char* LineStatusText(LineStatus status);

class SerialLine {
public:
    // Opens a port for reading and writing, raw, 8 data bits, no parity, one
    // stop bit, at `baud` (a pseudo-terminal takes any rate and ignores it).
    static Result<std::unique_ptr<SerialLine>> OpenPort(const std::string& path,
                                                        std::uint32_t baud);
    // Takes over an open descriptor (a pseudo-terminal master); closes it
    // when that fails.
    static Result<std::unique_ptr<SerialLine>> Adopt(int fd);

    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // A frame is written whole even when a stop is requested meanwhile: half
    // a frame would leave the other side waiting for bytes that never come.
    // Only the time-out, or the other side going away, cuts a write short.
    LineStatus WriteAll(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout);
    // Appends what is there, waiting up to `timeout` for at least one byte.
    // `restOfFrame`: the caller holds the start of a frame, whose rest is
    // most likely there already, so the line is read before it is waited on
    // (a waiting call that finds data costs as much as the read itself).
    LineStatus Read(std::vector<std::uint8_t>& into, std::chrono::milliseconds timeout,
                    bool restOfFrame = false);

    // Any thread: the wait in progress and every later one end with Stopped,
    // until ClearInterrupt.
    void Interrupt();
    void ClearInterrupt();

private:
    SerialLine(int fd, int wakeRead, int wakeWrite)
        : fd_(fd), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {}
    LineStatus WaitFor(short events, std::chrono::milliseconds timeout, bool stoppable);

    int fd_;
    int wakeRead_;
    int wakeWrite_;
    std::atomic<bool> interrupted_{false};
};

} // namespace marlow::modemlink
