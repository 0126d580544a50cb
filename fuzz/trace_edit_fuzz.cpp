// Device debug output reaches the trace printer unfiltered: any bytes, any
// number of backspaces. The edit plan must stay inside the window and bounded
// by what it was given.
#include "app/trace_printer_edit.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t windowLength = data[0] * 7u;
    const std::size_t pending = data[1] % 16u;
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    const marlow::app::TraceEdit edit = marlow::app::PlanTraceEdit(windowLength, pending, text);
    if (edit.replace && edit.replaceFrom > windowLength)
        std::abort();
    // Line feeds double; nothing else grows.
    if (edit.output.size() > 2 * text.size())
        std::abort();
    return 0;
}
