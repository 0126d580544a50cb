#pragma once
// A serial cable inside one process: the tool's end is a UartTransport, the
// handset's end a small blocking API for an emulator or a test. It keeps a
// record of what the tool did (write sizes, bytes consumed before each write,
// the time-out of every read), so tests can check the exact conversation
// without timing anything.

#include "uartloader/uart_transport.h"

#include <memory>
#include <vector>

namespace marlow::emulators {

using uartloader::LinkStatus;

class InProcessUartLink {
public:
    InProcessUartLink();
    ~InProcessUartLink();
    InProcessUartLink(const InProcessUartLink&) = delete;
    InProcessUartLink& operator=(const InProcessUartLink&) = delete;

    // A transport for the tool's side. Each run may make its own; they share
    // the cable, one open at a time.
    std::unique_ptr<uartloader::UartTransport> MakeHostEnd(std::string portName = "COM1");

    // The handset's side -----------------------------------------------------
    // Waits until the tool opens its end (which discards anything queued).
    LinkStatus DeviceWaitForHostOpen(std::chrono::milliseconds timeout);
    LinkStatus DeviceReceive(std::span<std::uint8_t> into, std::chrono::milliseconds timeout);
    LinkStatus DeviceSend(std::span<const std::uint8_t> bytes);
    // The handset vanishes: the tool's reads and writes fail with Gone.
    void DeviceHangup();
    // Its last words: the bytes are queued and the handset gone in one step.
    void DeviceSendAndHangup(std::span<const std::uint8_t> bytes);
    // Any thread: the handset's blocked calls return Stopped.
    void StopDevice();

    // What the tool did ------------------------------------------------------
    struct HostWrite {
        std::vector<std::uint8_t> bytes;
        std::size_t consumedBefore; // bytes the tool had read before this write
    };
    struct HostRead {
        std::size_t count;
        std::chrono::milliseconds timeout;
        LinkStatus status;
    };
    std::vector<HostWrite> HostWrites() const;
    std::vector<HostRead> HostReads() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace marlow::emulators
