#pragma once
// The text rules of the trace printer as a pure function: how one call's
// text, together with the backspaces left pending by the previous call, turns
// into one replacement at the end of a window.
//
// A trailing backspace cannot be shown until there is something after it
// (the device's debug output erases and rewrites its progress this way), so
// it is carried to the next call, whichever window that call writes to.

#include <cstddef>
#include <string>
#include <string_view>

namespace marlow::app {

struct TraceEdit {
    bool stopped = false;              // nothing but backspaces: nothing touches the window
    std::size_t pendingBackspaces = 0; // to carry into the next call
    bool replace = false;              // whether the window's tail is replaced at all
    std::size_t replaceFrom = 0;       // replace [replaceFrom, end) ...
    std::string output;                // ... with this (line ends as CR LF)
};

// windowLength: the window's text length now; pending: the backspaces carried
// from the previous call. Work is linear in `text` only, however large the
// window or the pending count.
TraceEdit PlanTraceEdit(std::size_t windowLength, std::size_t pending, std::string_view text);

} // namespace marlow::app
