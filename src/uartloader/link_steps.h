#pragma once
// The one place where the loader's replies are taken and checked. Every
// exchange names its step, so a failure says which reply was missing or
// wrong ("partition header acknowledgement: no reply in time (waited
// 100 ms)") while the run log keeps the operator's fixed texts.

#include "common/result.h"
#include "uartloader/uart_transport.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace marlow::uartloader {

// "<step>: <why>", the form of every failure a step reports.
Failure StepFailure(std::string_view step, std::string_view why);
// What the link said, as the step's result.
Status LinkStep(std::string_view step, LinkStatus status, std::chrono::milliseconds waited = {});

Status SendBytes(UartTransport& port, std::string_view step, std::span<const std::uint8_t> bytes);
Status SendWord(UartTransport& port, std::string_view step, std::uint32_t value);

Status ReceiveBytes(UartTransport& port, std::string_view step, std::span<std::uint8_t> into,
                    std::chrono::milliseconds timeout);
Result<std::uint32_t> ReceiveWord(UartTransport& port, std::string_view step,
                                  std::chrono::milliseconds timeout);

// An acknowledgement word: 0 accepts, anything else refuses.
Status CheckAck(std::string_view step, std::uint32_t ack);

} // namespace marlow::uartloader
