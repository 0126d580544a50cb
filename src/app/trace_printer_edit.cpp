#include "app/trace_printer_edit.h"

#include <algorithm>
#include <limits>

namespace marlow::app {

namespace {

constexpr char kBackspace = '\b';

std::size_t TrailingBackspaces(std::string_view text) {
    const std::size_t last = text.find_last_not_of(kBackspace);
    return last == std::string_view::npos ? text.size() : text.size() - last - 1;
}

std::size_t SaturatingAdd(std::size_t a, std::size_t b) {
    return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max()
                                                           : a + b;
}

} // namespace

TraceEdit PlanTraceEdit(std::size_t windowLength, std::size_t pending, std::string_view text) {
    TraceEdit edit;
    const std::size_t trailing = TrailingBackspaces(text);
    if (trailing == text.size()) {
        edit.stopped = true;
        edit.pendingBackspaces = SaturatingAdd(pending, trailing);
        return edit;
    }
    edit.pendingBackspaces = trailing;
    text.remove_suffix(trailing);

    // The carried backspaces come first and the output is still empty, so
    // each of them can only reach back into the window.
    std::size_t start = windowLength - std::min(pending, windowLength);
    edit.output.reserve(text.size() * 2);
    for (const char c : text) {
        switch (c) {
        case '\n':
            edit.output += "\r\n";
            break;
        case '\r':
            break;
        case kBackspace:
            if (!edit.output.empty())
                edit.output.pop_back();
            else if (start > 0)
                --start;
            break;
        default:
            edit.output += c;
        }
    }
    edit.replaceFrom = start;
    edit.replace = !edit.output.empty() || start < windowLength;
    return edit;
}

} // namespace marlow::app
