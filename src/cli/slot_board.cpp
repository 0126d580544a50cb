#include "cli/slot_board.h"

#include "cli/output.h"
#include "station/elapsed_text.h"

#include <cstdio>
#include <unistd.h>

namespace marlow::cli {

namespace {

// The file's own name: a board line has no room for its folders.
std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool SlotBoard::StdoutIsTerminal() {
    return isatty(fileno(stdout)) != 0;
}

std::string SlotBoard::SlotText(const status::SlotStatus& slot) {
    const bool running = status::Running(slot.state);
    char text[512];
    std::snprintf(text, sizeof text, "%-9s %-24s %4s %7s", status::NameOf(slot.state),
                  FileName(slot.file).c_str(),
                  running ? (std::to_string(slot.percent) + "%").c_str() : "",
                  slot.elapsedMs > 0 ? station::ElapsedText(slot.elapsedMs / 1000).c_str() : "");
    std::string line = text;
    if (!slot.lastVerdict.empty())
        line +=
            "  last " + slot.lastVerdict + (slot.lastReason.empty() ? "" : ": " + slot.lastReason);
    if (slot.units > 0)
        line += "  units " + std::to_string(slot.units) + ", first pass " +
                std::to_string(slot.firstPass * 100 / slot.units) + "%";
    while (line.ends_with(' '))
        line.pop_back();
    return line;
}

std::string SlotBoard::StationText(const std::string& station, const Shown& shown) {
    return station + (shown.known ? (shown.online ? " online" : " offline") : "");
}

void SlotBoard::Station(const std::string& station, bool online) {
    Shown& shown = stations_[station];
    if (shown.known && shown.online == online)
        return;
    shown.known = true;
    shown.online = online;
    if (terminal_)
        Redraw();
    else
        OutNow(StationText(station, shown) + "\n");
}

void SlotBoard::Slot(const std::string& station, const status::SlotStatus& slot) {
    status::SlotStatus& kept = stations_[station].bySlot[slot.slot];
    if (kept == slot && !kept.slot.empty())
        return;
    kept = slot;
    if (terminal_)
        Redraw();
    else
        OutNow(station + "/" + slot.slot + " " + SlotText(slot) + "\n");
}

void SlotBoard::Redraw() {
    std::string board;
    std::size_t lines = 0;
    for (const auto& [station, shown] : stations_) {
        board += (lines++ > 0 ? "\n" : "") + StationText(station, shown);
        for (const auto& [name, slot] : shown.bySlot) {
            char padded[64];
            std::snprintf(padded, sizeof padded, "  %-10s ", name.c_str());
            board += "\n" + (padded + SlotText(slot));
            ++lines;
        }
    }
    if (drawnLines_ > 1)
        OutCursorCodes("\r\x1b[" + std::to_string(drawnLines_ - 1) + "A");
    else if (drawnLines_ == 1)
        OutCursorCodes("\r");
    OutCursorCodes("\x1b[J");
    OutNow(board);
    drawnLines_ = lines;
}

void SlotBoard::Close() {
    if (terminal_ && drawnLines_ > 0)
        OutNow("\n");
    drawnLines_ = 0;
}

} // namespace marlow::cli
