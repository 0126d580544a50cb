// Arbitrary bytes as a download library file: the check before loading ends
// cleanly on anything and never passes a file too short for an ELF header.
#include "phone/library_file_check.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = [&](std::uint64_t offset, std::span<std::uint8_t> into) {
        if (offset > size || into.size() > size - offset)
            return false;
        std::copy_n(data + offset, into.size(), into.begin());
        return true;
    };
    // x86-64, the kind the seeds are.
    if (marlow::phone::CheckSharedObject(read, size,
                                         {.fileClass = 2, .byteOrder = 1, .machine = 62}) &&
        size < 52)
        std::abort();
    return 0;
}
