// Whatever a settings file holds, what was read must survive a save and a
// load unchanged, or be refused whole. Inputs go through files of this
// process's own.

#include "uartloader/loader_settings.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Removed again when the fuzzer exits.
struct OwnTempFile {
    explicit OwnTempFile(const char* what)
        : path("/tmp/marlow-fuzz-" + std::to_string(static_cast<long>(getpid())) + what) {}
    ~OwnTempFile() { std::remove(path.c_str()); }
    std::string path;
};

void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::uartloader;
    static const OwnTempFile inputFile("-in.mfl");
    static const OwnTempFile savedFile("-saved.mfl");
    const std::string& input = inputFile.path;
    const std::string& saved = savedFile.path;
    WriteInput(input, data, size);

    LoaderSettings loaded = LoaderSettings::Defaults();
    const MflReadResult first = ReadMflFile(input, loaded);
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

    std::string error;
    if (!WriteMflFile(saved, loaded, &error))
        std::abort();
    LoaderSettings reloaded = LoaderSettings::Defaults();
    const MflReadResult second = ReadMflFile(saved, reloaded);
    if (!second.ok || second.linesRead != kMflLineCount || !(reloaded == loaded))
        std::abort();
    return 0;
}
