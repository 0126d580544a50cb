#pragma once
// `CDebugPort`: the handset's serial debug console. The watch thread
// (`ThreadWatchComm`) owns the serial line and hands every received chunk, in
// order, to `text`; the user-interface thread writes typed characters through
// `WriteDebugPort`. Closing stops the thread by ending its event loop, never
// by killing it. A line that fails under the open port (an unplugged
// adapter) closes the port by itself and says so through `lost`.

#include "common/result.h"

#include <QObject>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QThread;

namespace marlow::debugport {

struct DebugPortEvents {
    // A received chunk's text (up to its first zero byte, never empty).
    // Called on the watch thread.
    std::function<void(std::string_view)> text;
    // The watch thread could not be set up; the argument is the whole
    // operator text ("Error while creating ThreadWatchComm, COM1").
    std::function<void(const std::string&)> setupFailed;
    // The open flag changed (user-interface thread), for command states.
    std::function<void(bool open)> openChanged;
    // The port closed itself because its line failed (user-interface thread,
    // after openChanged); the argument is the operator's line
    // ("/dev/ttyUSB0 Port closed: device removed").
    std::function<void(const std::string&)> lost;
};

inline constexpr std::size_t kReceiveChunk = 4096;

class PortWorker;

class CDebugPort {
public:
    explicit CDebugPort(DebugPortEvents events = {});
    ~CDebugPort();
    CDebugPort(const CDebugPort&) = delete;
    CDebugPort& operator=(const CDebugPort&) = delete;

    // 8 data bits, no parity, 1 stop bit, XON/XOFF both ways.
    // The thread that calls this must run an event loop: a lost line is
    // handled there. Closes first when already open. A failure says why and
    // what to do about it; its text is empty when the watch thread could not
    // start, which setupFailed has already told.
    Status OpenDebugPort(const std::string& name, int baud);
    void CloseDebugPort();
    // Bytes accepted for sending; 0 (and no complaint) when closed.
    std::size_t WriteDebugPort(const char* buffer, std::size_t count);

    bool IsOpen() const { return open_.load(); }
    bool Running() const { return running_.load(); }
    const std::string& PortName() const { return name_; }

private:
    void StopWatchThread();
    void SetOpen(bool open);
    void OnLineLost(unsigned generation, const std::string& reason);

    DebugPortEvents events_;
    std::string name_;
    std::atomic<bool> running_{false};
    std::atomic<bool> open_{false};
    std::unique_ptr<QThread> thread_;
    PortWorker* worker_ = nullptr; // lives on thread_, deleted there
    // Lives on the opening thread: where a lost line is handled. The
    // generation tells a late report from an earlier opening apart.
    QObject home_;
    unsigned generation_ = 0;
};

} // namespace marlow::debugport
