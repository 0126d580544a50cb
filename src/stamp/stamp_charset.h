#pragma once
// The characters a model name or version may hold. The same set tells the
// information display whether a file's tail is a stamp at all, so it must
// stay exactly as the handsets' production images were stamped: "-" to ";",
// "A" to "Y" (no "Z") and "a" to "z".

#include <cstddef>
#include <optional>
#include <string_view>

namespace marlow::stamp {

// The set as the operator reads it in a refusal.
inline constexpr const char* kStampCharacterSet = "- . / 0-9 : ; A-Y a-z";

bool IsStampCharacter(char c);

// Index of the first character outside the set, or nullopt when all are in.
std::optional<std::size_t> FirstNonStampCharacter(std::string_view text);

} // namespace marlow::stamp
