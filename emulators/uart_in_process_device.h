#pragma once
// The emulator's end of an in-process link (tests without a terminal).

#include "emulators/in_process_uart.h"
#include "emulators/uart_device_link.h"

namespace marlow::emulators {

class UartInProcessDevice final : public UartDeviceLink {
public:
    explicit UartInProcessDevice(emulators::InProcessUartLink& link) : link_(link) {}

    LinkStatus WaitForHostOpen(std::chrono::milliseconds timeout) override {
        return link_.DeviceWaitForHostOpen(timeout);
    }
    LinkStatus Receive(std::span<std::uint8_t> into, std::chrono::milliseconds timeout) override;
    LinkStatus Send(std::span<const std::uint8_t> bytes) override {
        return link_.DeviceSend(bytes);
    }
    Clock::time_point LastArrival() const override { return lastArrival_; }
    void Hangup() override { link_.DeviceHangup(); }
    void Stop() override { link_.StopDevice(); }

private:
    emulators::InProcessUartLink& link_;
    Clock::time_point lastArrival_{};
};

} // namespace marlow::emulators
