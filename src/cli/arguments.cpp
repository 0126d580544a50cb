#include "cli/arguments.h"

namespace marlow::cli {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + a byte from 0x80 to 0xFF

// Length of the valid UTF-8 sequence at `at`, or 0 when the byte there
// starts none (overlong forms, surrogates and values past U+10FFFF included).
std::size_t ValidSequenceLength(std::string_view bytes, std::size_t at, char32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

// The low half of a character past U+FFFF can fall in the same range; it
// always follows its high half, an escaped byte never does.
bool IsEscapedByte(const QString& text, qsizetype at) {
    const char16_t unit = text[at].unicode();
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF &&
           (at == 0 || !text[at - 1].isHighSurrogate());
}

} // namespace

QString DecodedArgument(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = ValidSequenceLength(bytes, at, code);
        if (length == 0) {
            text +=
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
            continue;
        }
        text += QString::fromUcs4(&code, 1);
        at += length;
    }
    return text;
}

QStringList DecodedArguments(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << DecodedArgument(argv[i]);
    return arguments;
}

std::string ArgumentBytes(const QString& argument) {
    std::string bytes;
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        bytes += argument.mid(runStart, end - runStart).toStdString();
    };
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (!IsEscapedByte(argument, i))
            continue;
        flushRun(i);
        bytes += static_cast<char>(argument[i].unicode() - kEscapeBase);
        runStart = i + 1;
    }
    flushRun(argument.size());
    return bytes;
}

} // namespace marlow::cli
