#include "pda_inprocess_device.h"

namespace marlow::emulators {

namespace {

class InProcessPort : public PdaDevicePort {
public:
    explicit InProcessPort(pda::InProcessDevice& device) : device_(device) {}
    void SendReply(std::span<const std::uint8_t> bytes, std::chrono::milliseconds after) override {
        device_.Reply(bytes, after);
    }
    void LeaveBus() override { device_.Disconnect(); }

private:
    pda::InProcessDevice& device_;
};

} // namespace

void AttachEmulator(pda::InProcessDevice& device, PdaBootLoaderEmulator& emulator) {
    device.SetTransferHandler([&device, &emulator](std::span<const std::uint8_t> transfer) {
        InProcessPort port(device);
        emulator.OnTransfer(transfer, port);
    });
}

void DetachEmulator(pda::InProcessDevice& device) {
    device.SetTransferHandler({});
}

} // namespace marlow::emulators
