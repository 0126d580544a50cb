#pragma once
// One emulated handset's faults, both halves, named by the words of the
// emulate commands' fault flags ("nak-at=2", "refuse-boot"), so a station
// run can give each slot its own and report which ones a handset carried.

#include "common/result.h"
#include "emulators/modem_device.h"
#include "emulators/pda_bootloader_emulator.h"

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::emulators {

struct HandsetFaults {
    PdaEmulatorFaults pda;
    ModemFaults modem;
    std::vector<std::string> words; // as given, in order
};

// Adds the fault one word names ("silent-at=3", "refuse-boot"); an unknown
// word or a bad number is refused with the list of faults.
Status AddHandsetFault(std::string_view word, HandsetFaults& faults);

// One fault that fails a run whichever half it hits first, picked at random
// for a soak: a refusal (nak-at, refuse-boot, fail-part) or a removal
// (disconnect-after, vanish-at-part). Stalls are left to explicit faults:
// they last as long as the host's time-out.
std::string RandomHandsetFault(std::mt19937& random);

} // namespace marlow::emulators
