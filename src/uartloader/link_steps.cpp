#include "uartloader/link_steps.h"

#include "common/little_endian.h"
#include "uartloader/uart_frames.h"

namespace marlow::uartloader {

StepResult StepResult::Failure(std::string_view step, std::string_view why) {
    StepResult result;
    result.ok = false;
    result.problem = std::string(step) + ": " + std::string(why);
    return result;
}

StepResult StepResult::FromLink(std::string_view step, LinkStatus status,
                                std::chrono::milliseconds waited) {
    if (status == LinkStatus::Ok)
        return Success();
    std::string why = DescribeLinkStatus(status);
    if (status == LinkStatus::TimedOut)
        why += " (waited " + std::to_string(waited.count()) + " ms)";
    StepResult result = Failure(step, why);
    result.stopped = status == LinkStatus::Stopped;
    return result;
}

StepResult SendBytes(UartTransport& port, std::string_view step,
                     std::span<const std::uint8_t> bytes) {
    return StepResult::FromLink(step, port.TransmitData(bytes));
}

StepResult SendWord(UartTransport& port, std::string_view step, std::uint32_t value) {
    return SendBytes(port, step, WordBytes(value));
}

StepResult ReceiveBytes(UartTransport& port, std::string_view step, std::span<std::uint8_t> into,
                        std::chrono::milliseconds timeout) {
    return StepResult::FromLink(step, port.ReceiveData(into, timeout), timeout);
}

StepResult ReceiveWord(UartTransport& port, std::string_view step,
                       std::chrono::milliseconds timeout, std::uint32_t& value) {
    Word bytes{};
    StepResult result = ReceiveBytes(port, step, bytes, timeout);
    if (result)
        value = LoadLe32(bytes);
    return result;
}

StepResult CheckAck(std::string_view step, std::uint32_t ack) {
    if (ack == kAckAccepted)
        return StepResult::Success();
    return StepResult::Failure(step, "refused with acknowledgement 0x" + Hex8(ack));
}

} // namespace marlow::uartloader
