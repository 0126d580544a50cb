#include "emulators/uart_in_process_device.h"

namespace marlow::emulators {

LinkStatus UartInProcessDevice::Receive(std::span<std::uint8_t> into,
                                        std::chrono::milliseconds timeout) {
    const LinkStatus status = link_.DeviceReceive(into, timeout);
    // The link hands bytes over whole, so they count as arriving now.
    lastArrival_ = Clock::now();
    return status;
}

} // namespace marlow::emulators
