#pragma once
// Names and texts read from files or from the command line, made fit to be
// shown: a control byte (a NUL, a line break, an escape) becomes "\0", "\r",
// "\n", "\t" or "\xNN", so that a message stays on its line and a terminal
// never receives raw control codes. Every other byte, a backslash included
// (it separates the folders of Windows paths), passes unchanged.

#include <string>
#include <string_view>

namespace marlow {

std::string Printable(std::string_view text);

// Text on its way to a terminal or a log, whole messages and traces: the
// same escapes, except for what such text is made of: a line feed, a tab,
// and a carriage return that ends a line before its line feed. A lone
// carriage return, which would let a name overwrite its own line, is
// escaped.
std::string TerminalText(std::string_view text);

} // namespace marlow
