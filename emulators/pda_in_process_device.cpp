#include "emulators/pda_in_process_device.h"

namespace marlow::emulators {

namespace {

class InProcessPort : public PdaDevicePort {
public:
    explicit InProcessPort(emulators::InProcessUsbDevice& device) : device_(device) {}
    void SendReply(std::span<const std::uint8_t> bytes, std::chrono::milliseconds after) override {
        device_.Reply(bytes, after);
    }
    void LeaveBus() override { device_.Disconnect(); }

private:
    emulators::InProcessUsbDevice& device_;
};

} // namespace

void AttachEmulator(emulators::InProcessUsbDevice& device, PdaBootLoaderEmulator& emulator) {
    device.SetTransferHandler([&device, &emulator](std::span<const std::uint8_t> transfer) {
        InProcessPort port(device);
        emulator.OnTransfer(transfer, port);
    });
}

void DetachEmulator(emulators::InProcessUsbDevice& device) {
    device.SetTransferHandler({});
}

} // namespace marlow::emulators
