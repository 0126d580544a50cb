#include "stamp/stamp_charset.h"

namespace marlow::stamp {

bool IsStampCharacter(char c) {
    const unsigned char code = static_cast<unsigned char>(c);
    return (code >= '-' && code <= ';') || (code >= 'A' && code <= 'Y') ||
           (code >= 'a' && code <= 'z');
}

std::optional<std::size_t> FirstNonStampCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsStampCharacter(text[i]))
            return i;
    }
    return std::nullopt;
}

} // namespace marlow::stamp
