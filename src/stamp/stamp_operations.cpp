#include "stamp/stamp_operations.h"

#include "common/path_rules.h"
#include "stamp/stamp_charset.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace marlow::stamp {

namespace {

bool HoldsAt(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view text) {
    return std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char expected, std::uint8_t byte) {
                          return static_cast<std::uint8_t>(expected) == byte;
                      });
}

// The end of a list file's last line, "....bin" and its line break. With
// CR LF the "bin" starts the version field; a list saved with a bare LF puts
// it one byte later. A tail ending in a line break, whatever the line (a
// phone group's last name), is a text file's end too: a stamp's last byte is
// always the version's zero padding.
bool IsListFileTail(std::span<const std::uint8_t, kTrailerSize> bytes) {
    return HoldsAt(bytes, kVersionFieldOffset, "bin") || bytes.back() == '\n' ||
           bytes.back() == '\r';
}

// A list whose last line has no line break ends in plain text; it carries a
// stamp only when its tail reads as one.
bool IsUnstampedList(const std::string& path, std::span<const std::uint8_t, kTrailerSize> bytes) {
    return EndsWithIgnoreCase(path, ".lst") && !LooksStamped(bytes);
}

// A blank or a control character is invisible between quotes.
std::string DescribeCharacter(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code == ' ')
        return "A blank";
    if (code > ' ' && code < 0x7f)
        return std::string("\"") + c + '"';
    char hex[24];
    std::snprintf(hex, sizeof hex, "The character 0x%02X", code);
    return hex;
}

} // namespace

TrailerWrite InsertStamp(const std::string& path, std::string_view model,
                         std::string_view version) {
    return AppendTrailer(path, model, version);
}

Stamp VerifyTrailer(std::span<const std::uint8_t, kTrailerSize> bytes) {
    if (IsListFileTail(bytes))
        return Stamp{kNoStamp, kNoStamp};
    return ParseTrailer(bytes);
}

Result<Stamp> VerifyStamp(const std::string& path) {
    const TrailerRead tail = ReadTrailerBytes(path);
    if (tail.status != TrailerStatus::Ok)
        return Failure{tail.error};
    return IsUnstampedList(path, tail.bytes) ? Stamp{kNoStamp, kNoStamp}
                                             : VerifyTrailer(tail.bytes);
}

std::optional<TypingProblem> CheckTyping(StampField field, std::string_view text) {
    const bool model = field == StampField::Model;
    const std::size_t fieldLength = model ? kMaxModelLength : kMaxVersionLength;
    const std::optional<std::size_t> bad = FirstNonStampCharacter(text.substr(0, fieldLength));
    if (!bad)
        return std::nullopt;
    const std::string first =
        model ? "Invalid Character in Model Name" : "Invalid Character in Model Version";
    return TypingProblem{*bad, first + "\n" + DescribeCharacter(text[*bad]) +
                                   " cannot be used: use only " + kStampCharacterSet};
}

} // namespace marlow::stamp
