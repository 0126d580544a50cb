#pragma once
// When the bytes handed to a serial line can have left it, worked out from
// the byte count and the line settings alone. A driver, a USB serial adapter
// or a pseudo-terminal takes a whole frame long before it is on the wire and
// none of them says when it is, so the loader never asks them: a reply
// cannot come before our last byte has gone, and its time-out starts then.
//
// The handset emulator uses the same schedule to keep a cable's pace.

#include "uartloader/uart_transport.h"

#include <chrono>
#include <cstddef>

namespace marlow::uartloader {

class LineSchedule {
public:
    using Clock = std::chrono::steady_clock;

    // A baud rate of 0 is a line without a pace: everything leaves at once.
    explicit LineSchedule(const LineSettings& settings = kLoaderLineSettings);

    // A start bit, the data bits, a parity bit if any and the stop bits for
    // each byte: 11 bits at 8E1, 10 at 8N1.
    Clock::duration LineTime(std::size_t bytes) const;

    // `bytes` were handed over at `handedAt`, behind whatever was still on
    // its way. Returns when the last of them can have left the line.
    Clock::time_point Occupy(std::size_t bytes, Clock::time_point handedAt);

    // A reply time-out counts from when our last byte can have left.
    Clock::time_point ReplyDeadline(Clock::time_point now, Clock::duration timeout) const;

private:
    std::chrono::nanoseconds::rep bitsPerByte_;
    std::chrono::nanoseconds::rep baudRate_;
    Clock::time_point lineFreeAt_{};
};

} // namespace marlow::uartloader
