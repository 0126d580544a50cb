#pragma once
// The handset's end of the UART cable, as the emulator sees it. Two
// backends: the master side of a pseudo-terminal (the tool opens the slave
// like any serial port) and the device end of the in-process link.

#include "uartloader/uart_transport.h"

#include <chrono>
#include <cstdint>
#include <span>

namespace marlow::emulators {

using uartloader::LinkStatus;

class UartDeviceLink {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~UartDeviceLink() = default;

    // Waits until the tool has opened its end and discarded what was queued
    // (the moment a boot ROM's ASIC ID can be heard).
    virtual LinkStatus WaitForHostOpen(std::chrono::milliseconds timeout) = 0;
    // Exactly into.size() bytes within `timeout`; Gone once the tool closed.
    virtual LinkStatus Receive(std::span<std::uint8_t> into, std::chrono::milliseconds timeout) = 0;
    virtual LinkStatus Send(std::span<const std::uint8_t> bytes) = 0;
    // When the first byte of the last Receive arrived (for line pacing).
    virtual Clock::time_point LastArrival() const = 0;
    // The handset vanishes from the line.
    virtual void Hangup() = 0;
    // Any thread: blocked and later calls return Stopped.
    virtual void Stop() = 0;
};

} // namespace marlow::emulators
