#pragma once
// The two ways a file goes to the handset, each driving a progress bar
// (bar 8 instead in "Total Write" mode):
// - TransmitFileSimple: plain chunks, nothing acknowledged (second-stage
//   boot and external memory init in 1-byte writes, boot flasher in 1024).
// - TransmitFileParity: frames of `chunkSize` bytes (the last filled with
//   0xFF) plus a CRC word, each acknowledged with 0 (partitions, 2048).
// Files are streamed; only one chunk is held at a time.

#include "common/input_file.h"
#include "uartloader/link_steps.h"
#include "uartloader/run_context.h"

#include <cstdint>

namespace marlow::uartloader {

inline constexpr std::uint32_t kSecondBootChunk = 1;
inline constexpr std::uint32_t kExtMemInitChunk = 1;
inline constexpr std::uint32_t kFlasherChunk = 1024;
inline constexpr std::uint32_t kPartitionChunk = 2048;

// sent * 100 / total in 64 bits (no wrap for large files), at most 100.
int ProgressPercent(std::uint64_t sent, std::uint64_t total);

Status TransmitFileSimple(UartRunContext& run, InputFile& file, std::uint32_t totalSize,
                          std::uint32_t chunkSize, int bar, std::string_view what = "file");

// `chunkSize` must be a non-zero multiple of 4.
Status TransmitFileParity(UartRunContext& run, InputFile& file, std::uint32_t totalSize,
                          std::uint32_t chunkSize, int bar, std::string_view what = "file");

} // namespace marlow::uartloader
