#pragma once
// Makes the emulator as slow as a real cable: at 115200 baud with a start
// bit, 8 data bits, a parity bit and a stop bit each byte takes 11 bit
// times. Bytes that came in are treated as having needed their line time
// from their arrival; bytes to send wait for theirs before they go out.
// The line carries one direction at a time here (the protocol is strictly
// question and answer), so one line schedule serves both directions.
//
// The clock and the sleep are injected so the schedule can be tested.

#include "uartloader/line_schedule.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace marlow::emulators {

class UartLinePacer {
public:
    using Clock = uartloader::LineSchedule::Clock;
    using Now = std::function<Clock::time_point()>;
    using SleepUntil = std::function<void(Clock::time_point)>;

    // baudRate 0 turns pacing off.
    explicit UartLinePacer(std::uint32_t baudRate, Now now = Clock::now,
                           SleepUntil sleepUntil = DefaultSleep);

    bool Enabled() const { return enabled_; }
    Clock::duration ByteTime(std::size_t bytes) const { return schedule_.LineTime(bytes); }

    // `bytes` arrived, the first of them at `firstArrival`.
    void AfterReceive(std::size_t bytes, Clock::time_point firstArrival);
    // `bytes` are about to be written.
    void BeforeSend(std::size_t bytes);

private:
    static void DefaultSleep(Clock::time_point until);
    void Occupy(Clock::time_point start, std::size_t bytes);

    bool enabled_;
    uartloader::LineSchedule schedule_;
    Now now_;
    SleepUntil sleepUntil_;
};

} // namespace marlow::emulators
