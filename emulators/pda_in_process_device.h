#pragma once
// Plugs the boot loader emulator into the device end of an in-process pipe
// pair: each host transfer reaches the emulator before the host's Write
// returns, as a bulk OUT endpoint takes it.

#include "pda_bootloader_emulator.h"

#include "emulators/in_process_usb.h"

#include <memory>

namespace marlow::emulators {

// The emulator must outlive the pair's host end or the detach.
void AttachEmulator(emulators::InProcessUsbDevice& device, PdaBootLoaderEmulator& emulator);
void DetachEmulator(emulators::InProcessUsbDevice& device);

} // namespace marlow::emulators
