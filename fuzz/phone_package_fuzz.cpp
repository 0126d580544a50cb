// Arbitrary text as a ".brx" package: the loader ends cleanly on anything
// and never stores a path that would not fit a role.
#include "phone/phone_package.h"
#include "scratch_file.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::phone;
    static const marlow::fuzz::ScratchFile kScratch("package.brx");
    kScratch.Write(data, size);

    PhoneFileSet files;
    const PackageLoadResult result = LoadPhonePackage(kScratch.path, files);
    if (!result.existenceChecked || result.outcome == PackageOutcome::Missing ||
        result.outcome == PackageOutcome::WrongExtension)
        std::abort();
    // One of these trace lines per member; the others say how a name was found.
    std::size_t members = 0;
    for (const marlow::Note& note : result.notes)
        members += note.text.find(" File Loading OK!!") != std::string::npos ||
                           note.text.find(" No Match File Error!!") != std::string::npos
                       ? 1
                       : 0;
    if (members > 4)
        std::abort();
    for (const PhoneFileEntry& entry : files.roles)
        if (entry.path.size() > kMaxPhonePath)
            std::abort();
    return 0;
}
