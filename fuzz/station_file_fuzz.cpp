// Arbitrary text as a station file: the reader ends cleanly on anything, a
// station it takes has slots a station can serve (a name, a USB port path
// of its own, the files its mode needs), and the file written from it reads
// back as the same station.
#include "common/usb_port_path.h"
#include "scratch_file.h"
#include "station/station_file.h"

#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::station;
    static const marlow::fuzz::ScratchFile kScratch("station.conf");
    kScratch.Write(data, size);

    const marlow::Result<StationFile> read = ReadStationFile(kScratch.path);
    if (!read) {
        if (read.Error().empty())
            std::abort();
        return 0;
    }
    std::set<std::string> names;
    std::set<std::string> ports;
    for (const StationSlot& slot : read->slotList) {
        if (slot.name.empty() || !marlow::IsUsbPortPath(slot.portPath) ||
            !SlotFilesProblem(slot).empty() || !names.insert(slot.name).second ||
            !ports.insert(slot.portPath).second)
            std::abort();
    }
    const std::string text = StationFileText(*read);
    kScratch.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const marlow::Result<StationFile> again = ReadStationFile(kScratch.path);
    if (!again || *again != *read)
        std::abort();
    return 0;
}
