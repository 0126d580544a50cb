#pragma once
// The one place where the loader's replies are taken and checked. Every
// exchange names its step, so a failure says which reply was missing or
// wrong ("partition header acknowledgement: no reply in time (waited
// 100 ms)") while the run log keeps the operator's fixed texts.

#include "uartloader/uart_transport.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace marlow::uartloader {

struct StepResult {
    bool ok = true;
    bool stopped = false; // the port was disconnected under the step
    std::string problem;  // "<step>: <why>" when not ok

    explicit operator bool() const { return ok; }

    static StepResult Success() { return {}; }
    static StepResult Failure(std::string_view step, std::string_view why);
    static StepResult FromLink(std::string_view step, LinkStatus status,
                               std::chrono::milliseconds waited = {});
};

StepResult SendBytes(UartTransport& port, std::string_view step,
                     std::span<const std::uint8_t> bytes);
StepResult SendWord(UartTransport& port, std::string_view step, std::uint32_t value);

StepResult ReceiveBytes(UartTransport& port, std::string_view step, std::span<std::uint8_t> into,
                        std::chrono::milliseconds timeout);
StepResult ReceiveWord(UartTransport& port, std::string_view step,
                       std::chrono::milliseconds timeout, std::uint32_t& value);

// An acknowledgement word: 0 accepts, anything else refuses.
StepResult CheckAck(std::string_view step, std::uint32_t ack);

} // namespace marlow::uartloader
