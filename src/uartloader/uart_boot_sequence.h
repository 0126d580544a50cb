#pragma once
// The whole UART run on the worker thread: the boot ROM's ASIC ID, the boot
// indication, the second-stage boot image, then the handset's requests until
// its done message, an error or a time-out. Every path ends the same way:
// the run's message is logged, the owner's disconnect runs, the label reads
// "Comport is disconnected." and the RunFinished follows.

#include "uartloader/run_context.h"

namespace marlow::uartloader {

RunFinished UartBootSequence(UartRunContext& run);

} // namespace marlow::uartloader
