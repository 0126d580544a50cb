// Any 20-byte tail must parse into bounded texts, and the "stamped" test must
// agree with the character set it is built on.
#include "stamp/stamp_charset.h"
#include "stamp/trailer.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size != marlow::stamp::kTrailerSize)
        return 0;
    const std::span<const std::uint8_t, marlow::stamp::kTrailerSize> bytes(data, size);
    const marlow::stamp::Stamp stamp = marlow::stamp::ParseTrailer(bytes);
    if (stamp.model.size() > marlow::stamp::kModelFieldSize ||
        stamp.version.size() > marlow::stamp::kVersionFieldSize)
        std::abort();
    if (marlow::stamp::LooksStamped(bytes))
        for (char c : stamp.model)
            if (!marlow::stamp::IsStampCharacter(c))
                std::abort();
    return 0;
}
