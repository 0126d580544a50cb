// Whatever a settings file holds, what was read must survive a save and a
// load unchanged, or be refused whole.

#include "scratch_file.h"
#include "uartloader/loader_settings.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow;
    using namespace marlow::uartloader;
    static const marlow::fuzz::ScratchFile kInput("in.mfl");
    static const marlow::fuzz::ScratchFile kSaved("saved.mfl");
    kInput.Write(data, size);

    const Result<MflContents> first = ReadMflFile(kInput.path, LoaderSettings::Defaults());
    // A line over the limit refuses the file.
    if (!first) {
        if (first.Error().empty())
            std::abort();
        return 0;
    }
    if (first->linesRead > kMflLineCount)
        std::abort();
    const LoaderSettings& loaded = first->settings;
    for (const FileRow& row : loaded.rows) {
        if (row.path.size() > kMflMaxLine || row.extAddress.size() > kMflMaxLine ||
            row.entryPoint.size() > kMflMaxLine)
            std::abort();
    }

    if (!WriteMflFile(kSaved.path, loaded))
        std::abort();
    const Result<MflContents> second = ReadMflFile(kSaved.path, LoaderSettings::Defaults());
    if (!second || second->linesRead != kMflLineCount || !(second->settings == loaded))
        std::abort();
    return 0;
}
