// Arbitrary text as a ".lst" file: the reader must end cleanly on anything.
#include "pda/list_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A memory-backed folder when there is one: rewriting a disk file per run
// makes the file system, not the parser, the bottleneck.
std::string ScratchDirectory() {
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec))
        return "/dev/shm/";
    return std::filesystem::temp_directory_path().string() + "/";
}

struct ScratchFile {
    ScratchFile()
        : path(ScratchDirectory() + "marlow-fuzz-list-" + std::to_string(getpid()) + ".lst") {}
    ~ScratchFile() { std::remove(path.c_str()); }
    void Write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }
    std::string path;
};

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::pda;
    static const ScratchFile scratch;
    static const std::string directory = ScratchDirectory();
    scratch.Write(data, size);

    const ListContents list = ReadListFile(scratch.path);
    if (list.phoneGroup.size() > 4 || (!list.hasPhoneGroup && !list.phoneGroup.empty()))
        std::abort();
    for (const ListEntry& entry : list.entries)
        if (!StartsWith(entry.path, directory) ||
            ClassifyListLine(entry.name).kind == ListLineKind::EndOfList)
            std::abort();
    for (const PhoneGroupFile& file : list.phoneGroup)
        if (file.path.size() > marlow::phone::kMaxPhonePath ||
            file.role != marlow::phone::ClassifyPhoneFile(file.name))
            std::abort();

    const std::string_view asText(reinterpret_cast<const char*>(data), size);
    ClassifyListLine(asText);
    ListKindOf(asText);
    return 0;
}
