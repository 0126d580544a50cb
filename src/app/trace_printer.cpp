#include "app/trace_printer.h"

#include "app/trace_printer_edit.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

namespace marlow::app {

void TracePrinter::WritePrint(TextTarget& target, const char* format, ...) {
    std::array<char, kMaxFormatted + 1> buffer{};
    std::va_list args;
    va_start(args, format);
    const int wanted = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    // A format the C library cannot render writes nothing, not garbage.
    const std::size_t length = wanted < 0 ? 0 : std::min<std::size_t>(wanted, kMaxFormatted);
    WritePrint(target, std::string_view(buffer.data(), length));
}

void TracePrinter::WritePrint(TextTarget& target, std::string_view text) {
    const std::lock_guard lock(mutex_);
    Apply(target, text);
}

void TracePrinter::Apply(TextTarget& target, std::string_view text) {
    const std::size_t windowLength = target.TextLength();
    const TraceEdit edit = PlanTraceEdit(windowLength, pendingBackspaces_, text);
    pendingBackspaces_ = edit.pendingBackspaces;
    if (edit.stopped)
        return;
    if (edit.replace)
        target.ReplaceToEnd(edit.replaceFrom, edit.output);
    target.ActivateAfterWrite();
}

void TracePrinter::ClearMessageWindow(TextTarget& target) {
    const std::lock_guard lock(mutex_);
    target.ReplaceToEnd(0, {});
}

std::size_t TracePrinter::PendingBackspaces() const {
    const std::lock_guard lock(mutex_);
    return pendingBackspaces_;
}

} // namespace marlow::app
