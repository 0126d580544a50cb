// Checks the address parser against the C library's reading of the same text.

#include "uartloader/hex_text.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::uint32_t value = 0;
    const bool ok = marlow::uartloader::HexStringToDword(text, value);

    const bool acceptable =
        text.size() <= 8 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
    if (ok != acceptable)
        std::abort();
    if (ok && value != (text.empty() ? 0 : std::strtoul(text.c_str(), nullptr, 16)))
        std::abort();
    if (text.size() > 8 && value != 0)
        std::abort();
    return 0;
}
