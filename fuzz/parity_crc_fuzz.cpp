// Every fast form must agree with the bit-by-bit definition, from any
// starting register and with the buffer cut anywhere.

#include "uartloader/parity_crc.h"
#include "uartloader/parity_crc_variants.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::uartloader;
    const std::span<const std::uint8_t> input(data, size);
    const std::uint32_t expected = CalcParityCrcBitwise(input);
    if (CalcParityCrc(input) != expected)
        std::abort();

    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    std::uint32_t crc = crc_variants::kInitialRegister;
    for (auto variant : {crc_variants::Bytewise, crc_variants::SliceBy4, crc_variants::SliceBy8,
                         crc_variants::SliceBy16}) {
        crc = variant(crc_variants::kInitialRegister, input.first(cut));
        if (variant(crc, input.subspan(cut)) != expected)
            std::abort();
    }
    return 0;
}
