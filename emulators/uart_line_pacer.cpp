#include "emulators/uart_line_pacer.h"

#include <algorithm>
#include <thread>

namespace marlow::emulators {

UartLinePacer::UartLinePacer(std::uint32_t baudRate, Now now, SleepUntil sleepUntil)
    : baudRate_(baudRate), now_(std::move(now)), sleepUntil_(std::move(sleepUntil)) {}

void UartLinePacer::DefaultSleep(Clock::time_point until) {
    std::this_thread::sleep_until(until);
}

UartLinePacer::Clock::duration UartLinePacer::ByteTime(std::size_t bytes) const {
    if (baudRate_ == 0)
        return Clock::duration::zero();
    const auto bits = static_cast<std::int64_t>(bytes) * kBitsPerByte;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
        bits * std::int64_t{1'000'000'000} / static_cast<std::int64_t>(baudRate_)));
}

void UartLinePacer::Occupy(Clock::time_point start, std::size_t bytes) {
    lineFreeAt_ = std::max(start, lineFreeAt_) + ByteTime(bytes);
    sleepUntil_(lineFreeAt_);
}

void UartLinePacer::AfterReceive(std::size_t bytes, Clock::time_point firstArrival) {
    if (Enabled() && bytes > 0)
        Occupy(firstArrival, bytes);
}

void UartLinePacer::BeforeSend(std::size_t bytes) {
    if (Enabled() && bytes > 0)
        Occupy(now_(), bytes);
}

} // namespace marlow::emulators
