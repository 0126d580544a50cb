#include "uartloader/request_codes.h"

#include <cstdio>

namespace marlow::uartloader {

std::size_t FileIndexFromRequest(std::uint32_t requestCode) {
    switch (requestCode) {
    case REQ_EXT_MEM_INIT:
        return 1;
    case REQ_FLASHER:
        return 2;
    case REQ_FLASH_XLOADER:
        return 3;
    case REQ_FLASH_EXT_MEM_INIT:
        return 4;
    case REQ_FLASH_ADL:
        return 5;
    case REQ_FLASH_PRODUCTION:
        return 6;
    case REQ_FLASH_NORMAL:
        return 7;
    default:
        return 0;
    }
}

bool IsFlashRequest(std::uint32_t requestCode) {
    switch (requestCode) {
    case REQ_FLASH_XLOADER:
    case REQ_FLASH_NORMAL:
    case REQ_FLASH_ADL:
    case REQ_FLASH_PRODUCTION:
    case REQ_FLASH_EXT_MEM_INIT:
        return true;
    default:
        return false;
    }
}

std::string RequestName(std::uint32_t requestCode) {
    switch (requestCode) {
    case REQ_EXT_MEM_INIT:
        return "REQ_EXT_MEM_INIT";
    case REQ_FLASHER:
        return "REQ_FLASHER";
    case REQ_DONE_MESSAGE:
        return "REQ_DONE_MESSAGE";
    case REQ_TEXT_MESSAGE:
        return "REQ_TEXT_MESSAGE";
    case REQ_PING:
        return "REQ_PING";
    case REQ_ARROW_MESSAGE:
        return "REQ_ARROW_MESSAGE";
    case REQ_FLASH_XLOADER:
        return "REQ_FLASH_XLOADER";
    case REQ_FLASH_NORMAL:
        return "REQ_FLASH_NORMAL";
    case REQ_FLASH_ADL:
        return "REQ_FLASH_ADL";
    case REQ_FLASH_PRODUCTION:
        return "REQ_FLASH_PRODUCTION";
    case REQ_FLASH_EXT_MEM_INIT:
        return "REQ_FLASH_EXT_MEM_INIT";
    default:
        break;
    }
    char text[40];
    std::snprintf(text, sizeof text, "unknown request 0x%08X", requestCode);
    return text;
}

} // namespace marlow::uartloader
