#pragma once
// The 32-bit request codes the handset sends once the second-stage boot
// runs, and which file role answers each.

#include <cstddef>
#include <cstdint>
#include <string>

namespace marlow::uartloader {

inline constexpr std::uint32_t REQ_EXT_MEM_INIT = 0xA0300000;
inline constexpr std::uint32_t REQ_FLASHER = 0xA0300001;
inline constexpr std::uint32_t REQ_DONE_MESSAGE = 0xA0300002;
inline constexpr std::uint32_t REQ_TEXT_MESSAGE = 0xA0300003;
inline constexpr std::uint32_t REQ_PING = 0xA0300004;
inline constexpr std::uint32_t REQ_ARROW_MESSAGE = 0xA0300089;
inline constexpr std::uint32_t REQ_FLASH_XLOADER = 0xA0400000;
inline constexpr std::uint32_t REQ_FLASH_NORMAL = 0xA0400001;
inline constexpr std::uint32_t REQ_FLASH_ADL = 0xA0400002;
inline constexpr std::uint32_t REQ_FLASH_PRODUCTION = 0xA0400003;
inline constexpr std::uint32_t REQ_FLASH_EXT_MEM_INIT = 0xA0400007;

inline constexpr std::uint32_t BOOT_INDICATION = 0xF0030002;

// File role rows (0 to 8) as the dialog numbers them.
inline constexpr std::size_t kSecondBootRow = 0;
inline constexpr std::size_t kExtMemInitRow = 1;
inline constexpr std::size_t kFlasherRow = 2;
inline constexpr std::size_t kNormalRow = 7;
inline constexpr std::size_t kTotalWriteRow = 8;

// 0xA0300000 -> 1, 0xA0300001 -> 2, 0xA0400000 -> 3, 0xA0400007 -> 4,
// 0xA0400002 -> 5, 0xA0400003 -> 6, 0xA0400001 -> 7; anything else -> 0.
std::size_t FileIndexFromRequest(std::uint32_t requestCode);

bool IsFlashRequest(std::uint32_t requestCode);

// "REQ_FLASH_ADL", or "unknown request 0xA0300005", for diagnostics.
std::string RequestName(std::uint32_t requestCode);

} // namespace marlow::uartloader
