#pragma once
// The station file (`station.conf`, docs/station-file.md): which slots a
// fixture has, the USB port path each slot's handset sits on, what each
// slot flashes and how. An INI file of our own: one `[slot NAME]` section
// per slot with `port`, `mode`, `pda` and `phone`.
//
// A slot follows its handset by where it is plugged in, never by the order
// devices appear; a handset on a port no slot names is not served.

#include "common/result.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::station {

enum class SlotMode {
    Total, // the PDA list, the hand-over, then the phone files
    Pda,   // the PDA file alone
    Phone, // the phone package alone
};

// "total", "pda", "phone": the words the file uses.
std::string_view SlotModeName(SlotMode mode);
std::optional<SlotMode> SlotModeNamed(std::string_view word);

struct StationSlot {
    std::string name;
    std::string portPath; // "1-2.3"
    SlotMode mode = SlotMode::Total;
    // The list or boot image (total, pda); empty for a phone slot.
    std::string pdaFile;
    // The phone package (phone; total: instead of the list's phone group).
    std::string phonePackage;
    bool operator==(const StationSlot&) const = default;
};

struct StationFile {
    std::vector<StationSlot> slotList;
    bool operator==(const StationFile&) const = default;
};

// What the slot's mode needs and refuses ("a total slot needs a pda file",
// "a pda slot flashes no phone package"); empty when the files fit it.
std::string SlotFilesProblem(const StationSlot& slot);

// The file's text read from `file`. Errors name the file as `shownName`
// with the line ("station.conf:7: …"), each on a line of its own, up to a
// dozen of them; relative file names are taken from `folder`.
Result<StationFile> ParseStationFile(std::FILE* file, const std::string& shownName,
                                     const std::string& folder);
// The file at `path`, a regular file; relative names are taken from its folder.
Result<StationFile> ReadStationFile(const std::string& path);

// The text of a station file: a few lines of comment, then the slots in
// order. Reading it back gives the same station.
std::string StationFileText(const StationFile& station);

// The slot whose handset sits on that port; for a port no slot names, why
// the handset there is not served.
Result<const StationSlot*> SlotOnPort(const StationFile& station, std::string_view portPath);

} // namespace marlow::station
