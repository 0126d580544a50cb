#include "uartloader/link_steps.h"

#include "common/little_endian.h"
#include "uartloader/uart_frames.h"

namespace marlow::uartloader {

Failure StepFailure(std::string_view step, std::string_view why) {
    return Failure{std::string(step) + ": " + std::string(why)};
}

Status LinkStep(std::string_view step, LinkStatus status, std::chrono::milliseconds waited) {
    if (status == LinkStatus::Ok)
        return {};
    std::string why = DescribeLinkStatus(status);
    if (status == LinkStatus::TimedOut)
        why += " (waited " + std::to_string(waited.count()) + " ms)";
    return StepFailure(step, why);
}

Status SendBytes(UartTransport& port, std::string_view step, std::span<const std::uint8_t> bytes) {
    return LinkStep(step, port.TransmitData(bytes));
}

Status SendWord(UartTransport& port, std::string_view step, std::uint32_t value) {
    return SendBytes(port, step, WordBytes(value));
}

Status ReceiveBytes(UartTransport& port, std::string_view step, std::span<std::uint8_t> into,
                    std::chrono::milliseconds timeout) {
    return LinkStep(step, port.ReceiveData(into, timeout), timeout);
}

Result<std::uint32_t> ReceiveWord(UartTransport& port, std::string_view step,
                                  std::chrono::milliseconds timeout) {
    Word bytes{};
    if (Status received = ReceiveBytes(port, step, bytes, timeout); !received)
        return Failure{received.Error()};
    return LoadLe32(bytes);
}

Status CheckAck(std::string_view step, std::uint32_t ack) {
    if (ack == kAckAccepted)
        return {};
    return StepFailure(step, "refused with acknowledgement 0x" + Hex8(ack));
}

} // namespace marlow::uartloader
