#pragma once
// The phone download instance and the vocabulary of its state machine. The
// numbers are the ones the modem tools have always logged, so they stay.

#include <cstdint>
#include <string>

namespace marlow::phone {

enum PhoneState : std::int32_t {
    stIdle = 0,
    stBooting = 1,
    stDownloadPsi = 2,
    stDownloadSlb = 3,
    stDownloadFls = 4,
    stDownloadEep = 5,
    stEndOfProcess = 7,
    stReBooting = 9, // front panel only: reopen the port and boot once more
};

enum PhoneEvent : std::int32_t {
    EVT_DONE = 0,    // a report with code 0
    EVT_ERROR = 1,   // a report with code 1, or a download call that was refused
    EVT_START = 2,   // the port wait found the phone
    EVT_ABORT = 3,   // stop, and the tidy-up after a successful run
    EVT_RESTART = 4, // front panel only: the boot watchdog fired
};

struct TInst {
    std::int32_t port_number = 0;
    std::uint8_t channel = 1; // the library channel, the engine's own; never changes
    PhoneState state = stIdle;
    bool port_open = false;
};

// One report from the library, as the owner's thread receives it.
struct PhoneReport {
    std::uint32_t channel = 0;
    std::uint32_t code = 0;
    std::string text; // at most kMaxReportText characters
    bool handled = false;
};

// The report text field holds 1000 characters with its terminator.
inline constexpr std::size_t kMaxReportText = 999;

} // namespace marlow::phone
