#pragma once
// What the model/version dialog does, without the dialog: INSERT appends a
// trailer, VERIFY reads the last one back, and the typing check points at the
// first character the operator must replace.

#include "stamp/trailer.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace marlow::stamp {

// Shown for both fields when a file has no stamp to verify.
inline constexpr const char* kNoStamp = "NONE";

// Appends a trailer. Neither an existing trailer nor the characters are
// checked here: the typing check is the guard, and a second INSERT is how an
// operator corrects a stamp (readers only see the last one).
TrailerWrite InsertStamp(const std::string& path, std::string_view model, std::string_view version);

// A tail whose version field begins with "bin" is the end of a list file's
// last ".bin" line, not a stamp, and verifies as "NONE"; so does a tail that
// ends in a line break, and a ".lst" file whose tail does not read as a
// stamp. Any other tail is shown as it stands, characters unexamined (the
// shower escapes control characters).
// The fields as text, or "NONE"/"NONE"; a failure has nothing to show in
// the result fields.
Result<Stamp> VerifyStamp(const std::string& path);
Stamp VerifyTrailer(std::span<const std::uint8_t, kTrailerSize> bytes);

enum class StampField { Model, Version };

struct TypingProblem {
    std::size_t index = 0; // the character to select for the operator
    // "Invalid Character in Model Name" (or "... Model Version"), then a line
    // naming the character and the set it must come from.
    std::string message;
    bool operator==(const TypingProblem&) const = default;
};

// Looks at no more characters than the field can hold (14 or 4). Both the
// dialog's typing check and every INSERT (dialog and command line) refuse
// with this one text.
std::optional<TypingProblem> CheckTyping(StampField field, std::string_view text);

} // namespace marlow::stamp
