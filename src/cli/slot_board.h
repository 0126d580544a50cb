#pragma once
// Stations' slots as a board on stdout: a line per station saying whether
// it is on line, under it a line per slot (state, file, percent, elapsed
// time, how the last run ended, the shift's units and first-pass yield).
// On a terminal the board is drawn again in place at each change; off a
// terminal each change is one plain line ("line-4/A1 pda NK.bin 42% ...",
// "line-4 offline"), for a log or a script.

#include "status/slot_status.h"

#include <map>
#include <string>

namespace marlow::cli {

class SlotBoard {
public:
    explicit SlotBoard(bool terminal) : terminal_(terminal) {}
    static bool StdoutIsTerminal();

    void Station(const std::string& station, bool online);
    void Slot(const std::string& station, const status::SlotStatus& slot);
    // Leaves the cursor below the board.
    void Close();

    // A slot's line after its name: "pda  NK.bin  42%  1:23  last passed
    // ...".
    static std::string SlotText(const status::SlotStatus& slot);

private:
    struct Shown {
        bool online = false;
        bool known = false; // its online flag has been heard
        std::map<std::string, status::SlotStatus> bySlot;
    };
    static std::string StationText(const std::string& station, const Shown& shown);
    void Redraw();

    bool terminal_;
    std::map<std::string, Shown> stations_;
    std::size_t drawnLines_ = 0;
};

} // namespace marlow::cli
