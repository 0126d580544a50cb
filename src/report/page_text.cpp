#include "report/page_text.h"

#include "common/printable_text.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace marlow::report {

std::string Html(std::string_view text) {
    std::string html;
    for (const char c : TerminalText(text)) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\'':
            html += "&#39;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

std::string Percent(int part, int whole) {
    return whole == 0 ? "-" : Fixed(100.0 * part / whole) + "%";
}

std::string Duration(double ms) {
    const double seconds = ms / 1000.0;
    if (seconds < 59.95)
        return Fixed(seconds) + " s";
    const auto tenths = static_cast<std::int64_t>(std::llround(seconds * 10));
    const std::int64_t wholeSeconds = tenths / 10 % 60;
    return std::to_string(tenths / 600) + ":" + (wholeSeconds < 10 ? "0" : "") +
           std::to_string(wholeSeconds) + "." + std::to_string(tenths % 10);
}

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            const std::size_t startA = i;
            const std::size_t startB = j;
            while (i < a.size() && digit(a[i]))
                ++i;
            while (j < b.size() && digit(b[j]))
                ++j;
            std::string_view numberA = a.substr(startA, i - startA);
            std::string_view numberB = b.substr(startB, j - startB);
            numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace marlow::report
