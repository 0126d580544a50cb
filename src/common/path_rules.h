#pragma once
// Path splitting as the tool's files expect it: a backslash separates folders
// (paths written on the production PCs), and on POSIX systems "/" does too,
// so a path works the way the user typed it.

#include <string>
#include <string_view>

namespace marlow {

// Position of the last folder separator, or npos.
std::size_t LastSeparator(std::string_view path);

// The text after the last separator; the whole path when there is none.
std::string FileNamePart(std::string_view path);

// The path up to and including its last separator; empty when there is none.
std::string DirectoryPart(std::string_view path);

// The last `count` characters (the whole text when shorter).
std::string_view LastChars(std::string_view text, std::size_t count);

std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix);

} // namespace marlow
