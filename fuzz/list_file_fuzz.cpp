// Arbitrary text as a ".lst" file: the reader must end cleanly on anything.
#include "pda/list_file.h"
#include "scratch_file.h"

#include <cstdlib>
#include <string>

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::pda;
    static const marlow::fuzz::ScratchFile kScratch("list.lst");
    static const std::string kDirectory = marlow::fuzz::ScratchDirectory();
    kScratch.Write(data, size);

    const ListContents list = ReadListFile(kScratch.path);
    if (list.phoneGroup.size() > 4 || (!list.hasPhoneGroup && !list.phoneGroup.empty()))
        std::abort();
    for (const ListEntry& entry : list.entries)
        if (!StartsWith(entry.path, kDirectory) ||
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
