#pragma once
// What a reader wants shown to the operator, in order. The readers never
// present anything themselves: each owner (main window, front panel, CLI)
// decides where a message box or a trace line goes.

#include <string>
#include <vector>

namespace marlow {

enum class NoteKind {
    MessageBox, // a modal message box with the text alone
    TraceLine,  // a line for the owner's trace window (written as it stands)
};

struct Note {
    NoteKind kind;
    std::string text;
    bool operator==(const Note&) const = default;
};

using Notes = std::vector<Note>;

} // namespace marlow
