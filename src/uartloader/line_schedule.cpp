#include "uartloader/line_schedule.h"

#include <algorithm>

namespace marlow::uartloader {

namespace {

int BitsPerByte(const LineSettings& settings) {
    const int parityBits = settings.parity == Parity::None ? 0 : 1;
    const int stopBits = settings.stopBits == StopBits::Two ? 2 : 1;
    return 1 + settings.dataBits + parityBits + stopBits;
}

} // namespace

LineSchedule::LineSchedule(const LineSettings& settings)
    : bitsPerByte_(BitsPerByte(settings)), baudRate_(settings.baudRate) {}

LineSchedule::Clock::duration LineSchedule::LineTime(std::size_t bytes) const {
    if (baudRate_ == 0)
        return Clock::duration::zero();
    const auto bits = static_cast<std::chrono::nanoseconds::rep>(bytes) * bitsPerByte_;
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(bits * 1'000'000'000 / baudRate_));
}

LineSchedule::Clock::time_point LineSchedule::Occupy(std::size_t bytes,
                                                     Clock::time_point handedAt) {
    lineFreeAt_ = std::max(handedAt, lineFreeAt_) + LineTime(bytes);
    return lineFreeAt_;
}

LineSchedule::Clock::time_point LineSchedule::ReplyDeadline(Clock::time_point now,
                                                            Clock::duration timeout) const {
    return std::max(now, lineFreeAt_) + timeout;
}

} // namespace marlow::uartloader
