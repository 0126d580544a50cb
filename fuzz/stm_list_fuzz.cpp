// The list reader only takes a path, so each input goes through a file of
// this process's own.

#include "uartloader/stm_list.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Removed again when the fuzzer exits.
struct OwnTempFile {
    std::string path = "/tmp/marlow-fuzz-" + std::to_string(static_cast<long>(getpid())) + ".stm";
    ~OwnTempFile() { std::remove(path.c_str()); }
};

const std::string& ListPath() {
    static const OwnTempFile file;
    return file.path;
}

void WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(ListPath().c_str(), "wb");
    if (file == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    marlow::uartloader::StmList list;
    const auto result = marlow::uartloader::ReadStmList(ListPath(), list);
    // A list that stops short always says why.
    const bool complete = result.entryCount == marlow::uartloader::kStmMaxEntries;
    if (result.entryCount > marlow::uartloader::kStmMaxEntries ||
        (!complete && result.notes.empty()))
        std::abort();
    for (std::size_t i = 0; i < result.entryCount; ++i) {
        if (list.paths[i] != "/tmp/" + list.names[i])
            std::abort();
    }
    return 0;
}
