#pragma once
// Plugs the boot loader emulator into the device end of an in-process pipe
// pair: each host transfer reaches the emulator before the host's Write
// returns, as a bulk OUT endpoint takes it.

#include "pda_bootloader_emulator.h"

#include "pda/inprocess_transport.h"

#include <memory>

namespace marlow::emulators {

// The emulator must outlive the pair's host end or the detach.
void AttachEmulator(pda::InProcessDevice& device, PdaBootLoaderEmulator& emulator);
void DetachEmulator(pda::InProcessDevice& device);

} // namespace marlow::emulators
