// Arbitrary text as an ".stm" list: the reader ends cleanly on anything, a
// list that stops short always says why, and every path is the list's
// folder and the entry's name, its "\" turned into "/" and its letter case
// perhaps that of a file found there.

#include "common/path_rules.h"
#include "scratch_file.h"
#include "uartloader/stm_list.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

bool IsEntryPath(const std::string& path, const std::string& folder, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return path.compare(0, folder.size(), folder) == 0 &&
           marlow::EqualsIgnoreCase(std::string_view(path).substr(folder.size()), name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const marlow::fuzz::ScratchFile kScratch("list.stm");
    static const std::string kFolder = marlow::fuzz::ScratchDirectory();
    kScratch.Write(data, size);

    marlow::uartloader::StmList list;
    const auto result = marlow::uartloader::ReadStmList(kScratch.path, list);
    const bool complete = result.entryCount == marlow::uartloader::kStmMaxEntries;
    if (result.entryCount > marlow::uartloader::kStmMaxEntries ||
        (!complete && result.notes.empty()))
        std::abort();
    for (std::size_t i = 0; i < result.entryCount; ++i)
        if (!IsEntryPath(list.paths[i], kFolder, list.names[i]))
            std::abort();
    return 0;
}
