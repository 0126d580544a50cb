#pragma once
// The answer to a flash request (REQ_FLASH_*): the handset's extra word,
// the 16-byte partition header with its CRC, its acknowledgement, then the
// image in acknowledged 2048-byte frames. A failure sets the run's message
// and stops the run.

#include "uartloader/run_context.h"

#include <cstdint>

namespace marlow::uartloader {

void HandlePartitionRequest(UartRunContext& run, std::uint32_t requestCode);

} // namespace marlow::uartloader
