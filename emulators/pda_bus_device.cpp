#include "pda_bus_device.h"

namespace marlow::emulators {

namespace {

class BusPort : public PdaDevicePort {
public:
    explicit BusPort(VirtualBusDevice& device) : device_(device) {}
    void SendReply(std::span<const std::uint8_t> bytes, std::chrono::milliseconds after) override {
        if (after.count() > 0 && !device_.Wait(after))
            return;
        device_.SendReply(bytes);
    }
    void LeaveBus() override { device_.Disconnect(); }

private:
    VirtualBusDevice& device_;
};

} // namespace

VirtualBusDevice::Receive ServePdaEmulator(VirtualBusDevice& device,
                                           PdaBootLoaderEmulator& emulator) {
    BusPort port(device);
    return device.Serve(
        [&](std::span<const std::uint8_t> packet) { emulator.OnTransfer(packet, port); });
}

} // namespace marlow::emulators
