#pragma once
// Where the phone download's texts and values go. The engine names the
// target of every text; the main window, the front panel and the command
// line each implement this, and tests record the exact sequence.

#include <cstdint>
#include <string_view>

namespace marlow::phone {

enum class PhoneTarget {
    DeviceState,  // main window: the Device State Window, written as WritePrint writes
    DebugMessage, // main window: the Debug Message Window
    StatusLine,   // front panel: the status line (control 1032), replaced
    LogList,      // front panel: the log list, one entry appended and selected
    CurrentFile,  // front panel: the current download file label (1037), replaced
    PercentLabel, // front panel: the percent label (1039), replaced
};

struct PhoneProgress {
    enum class Kind {
        Shown,   // main window: the Device State Window's bar appears, range 0 to 100
        Value,   // the bar's position
        Removed, // main window: the bar goes away
    };
    Kind kind = Kind::Value;
    int percent = 0;
    bool operator==(const PhoneProgress&) const = default;
};

enum class PhoneRunEnd {
    Succeeded,    // the last part was done and the port released
    Failed,       // a part failed; the port is released
    PortNotFound, // the port wait ran out without a phone
};

inline constexpr std::uint32_t kRedText = 0x0000ff; // a colour reference: red

class PhonePresentation {
public:
    virtual ~PhonePresentation() = default;

    virtual void Show(PhoneTarget target, std::string_view text) = 0;
    // Main window: empties the Device State Window; front panel: the log list.
    virtual void Clear(PhoneTarget target) = 0;
    virtual void Progress(PhoneProgress progress) = 0;
    // Modal: returns once the operator has closed it. An empty title means
    // the program's own.
    virtual void MessageBox(std::string_view text, std::string_view title) = 0;
    // The front panel's two-line message in `colour`; modal like a message box.
    virtual void TwoLineMessage(std::string_view first, std::string_view second,
                                std::uint32_t colour) = 0;
    // The run is over; the owner updates its own controls and flags.
    virtual void RunEnded(PhoneRunEnd end) = 0;
};

} // namespace marlow::phone
