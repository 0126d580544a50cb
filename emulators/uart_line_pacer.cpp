#include "emulators/uart_line_pacer.h"

#include <thread>

namespace marlow::emulators {

namespace {

uartloader::LineSettings LoaderLineAt(std::uint32_t baudRate) {
    uartloader::LineSettings settings = uartloader::kLoaderLineSettings;
    settings.baudRate = baudRate;
    return settings;
}

} // namespace

UartLinePacer::UartLinePacer(std::uint32_t baudRate, Now now, SleepUntil sleepUntil)
    : enabled_(baudRate != 0), schedule_(LoaderLineAt(baudRate)), now_(std::move(now)),
      sleepUntil_(std::move(sleepUntil)) {}

void UartLinePacer::DefaultSleep(Clock::time_point until) {
    std::this_thread::sleep_until(until);
}

void UartLinePacer::Occupy(Clock::time_point start, std::size_t bytes) {
    sleepUntil_(schedule_.Occupy(bytes, start));
}

void UartLinePacer::AfterReceive(std::size_t bytes, Clock::time_point firstArrival) {
    if (enabled_ && bytes > 0)
        Occupy(firstArrival, bytes);
}

void UartLinePacer::BeforeSend(std::size_t bytes) {
    if (enabled_ && bytes > 0)
        Occupy(now_(), bytes);
}

} // namespace marlow::emulators
