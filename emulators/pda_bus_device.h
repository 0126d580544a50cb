#pragma once
// Runs the boot loader emulator on the device end of the virtual USB bus:
// host transfers come in as frames, replies go out as frames, and a reply
// that takes its time (the flash write) lets device time pass first.

#include "pda_bootloader_emulator.h"
#include "virtual_bus_device.h"

namespace marlow::emulators {

// Serves until the device leaves the bus, the host hangs up or Stop().
VirtualBusDevice::Receive ServePdaEmulator(VirtualBusDevice& device,
                                           PdaBootLoaderEmulator& emulator);

} // namespace marlow::emulators
