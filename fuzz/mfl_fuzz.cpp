// Whatever a settings file holds, what was read must survive a save and a
// load unchanged, or be refused whole.

#include "scratch_file.h"
#include "uartloader/loader_settings.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::uartloader;
    static const marlow::fuzz::ScratchFile kInput("in.mfl");
    static const marlow::fuzz::ScratchFile kSaved("saved.mfl");
    kInput.Write(data, size);

    LoaderSettings loaded = LoaderSettings::Defaults();
    const MflReadResult first = ReadMflFile(kInput.path, loaded);
    // A line over the limit refuses the file and leaves every field alone.
    if (!first.ok) {
        if (first.error.empty() || !(loaded == LoaderSettings::Defaults()))
            std::abort();
        return 0;
    }
    if (first.linesRead > kMflLineCount)
        std::abort();
    for (const FileRow& row : loaded.rows) {
        if (row.path.size() > kMflMaxLine || row.extAddress.size() > kMflMaxLine ||
            row.entryPoint.size() > kMflMaxLine)
            std::abort();
    }

    if (!WriteMflFile(kSaved.path, loaded))
        std::abort();
    LoaderSettings reloaded = LoaderSettings::Defaults();
    const MflReadResult second = ReadMflFile(kSaved.path, reloaded);
    if (!second.ok || second.linesRead != kMflLineCount || !(reloaded == loaded))
        std::abort();
    return 0;
}
