#pragma once
// What the front panel can show of a run, by control. The front-panel skin
// decides the words; the panel's widgets (or the CLI's `total`, or a test)
// implement this.

#include "common/run_verdict.h"

#include <cstdint>
#include <string_view>

namespace marlow::panel {

class FrontPanelView {
public:
    virtual ~FrontPanelView() = default;

    virtual void Status(std::string_view text) = 0;      // 1032, replaced
    virtual void Percent(std::string_view text) = 0;     // 1039, replaced
    virtual void CurrentFile(std::string_view text) = 0; // 1037, replaced
    virtual void Counter(std::string_view text) = 0;     // 1069, replaced
    virtual void ProgressRange(int low, int high) = 0;   // 1000
    virtual void Progress(int position) = 0;             // 1000
    virtual void EnableStop() = 0;                       // 1029
    // "Down Start" (1028) and the PDA "File Open" (1027) enabled, focus on 1028.
    virtual void EnableDownStart() = 0;
    virtual void Log(std::string_view text) = 0; // 1136: appended and selected
    virtual void ClearLog() = 0;
    // Modal; an empty caption means the program's own.
    virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
    // The two-line message dialog in `colour` (a colour reference); modal.
    virtual void TwoLineMessage(std::string_view first, std::string_view second,
                                std::uint32_t colour) = 0;
    // The run's verdict, after its last words: the panel shows it in the
    // status line's colour.
    virtual void RunEnded(const RunFinished& finished) { (void)finished; }
};

} // namespace marlow::panel
