// Arbitrary text as a ".brx" package: the loader ends cleanly on anything
// and never stores a path that would not fit a role.
#include "phone/phone_package.h"

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
        : path(ScratchDirectory() + "marlow-fuzz-package-" + std::to_string(getpid()) + ".brx") {}
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::phone;
    static const ScratchFile scratch;
    scratch.Write(data, size);

    PhoneFileSet files;
    const PackageLoadResult result = LoadPhonePackage(scratch.path, files);
    if (!result.existenceChecked || result.outcome == PackageOutcome::Missing ||
        result.outcome == PackageOutcome::WrongExtension)
        std::abort();
    std::size_t members = 0;
    for (const marlow::Note& note : result.notes)
        members += note.kind == marlow::NoteKind::TraceLine ? 1 : 0;
    if (members > 4)
        std::abort();
    for (const PhoneFileEntry& entry : files.roles)
        if (entry.path.size() > kMaxPhonePath)
            std::abort();
    return 0;
}
