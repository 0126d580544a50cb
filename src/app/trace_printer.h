#pragma once
// `WritePrint`: the printf-style trace output every part of the tool writes
// into the message windows. One printer serves all windows, because a
// backspace left pending by one call is applied by the next call to any
// window; calls from the user-interface thread and from workers are
// serialized.

#include "app/trace_printer_target.h"

#include <cstddef>
#include <mutex>
#include <string_view>

namespace marlow::app {

class TracePrinter {
public:
    // Longest text one printf-style call produces; the rest is cut.
    static constexpr std::size_t kMaxFormatted = 4095;

    void WritePrint(TextTarget& target, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // Already-formatted text, written as it stands: for device data and any
    // text that may hold "%". String literals pick the printf form above.
    void WritePrint(TextTarget& target, std::string_view text);

    // Empties the window; serialized with the writes so a worker's write
    // never lands half before and half after the clear.
    void ClearMessageWindow(TextTarget& target);

    std::size_t PendingBackspaces() const;

private:
    void Apply(TextTarget& target, std::string_view text);

    mutable std::mutex mutex_;
    std::size_t pendingBackspaces_ = 0;
};

} // namespace marlow::app
