#include "common/printable_text.h"

#include <cstdio>

namespace marlow {

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

void AppendEscaped(std::string& out, unsigned char c) {
    switch (c) {
    case '\0':
        out += "\\0";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
    }
}

} // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (IsControl(static_cast<unsigned char>(c)))
            AppendEscaped(out, static_cast<unsigned char>(c));
        else
            out += c;
    }
    return out;
}

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineBreak =
            c == '\n' || c == '\t' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        if (IsControl(c) && !lineBreak)
            AppendEscaped(out, c);
        else
            out += text[i];
    }
    return out;
}

} // namespace marlow
