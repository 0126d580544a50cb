// Feeds arbitrary bytes through the image reader exactly as the download
// and the information display meet them: from a file on disk.
#include "pda/boot_image.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

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
        : path(ScratchDirectory() + "marlow-fuzz-image-" + std::to_string(getpid()) + ".bin") {}
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

// The download's own walk: chunks of at most kMaxChunk, one sum per record.
std::vector<std::uint32_t> SumsInChunks(const std::string& path) {
    using namespace marlow::pda;
    std::vector<std::uint32_t> sums;
    BootImageReader reader;
    if (!reader.Open(path) || !reader.ReadHeader())
        return sums;
    std::vector<std::uint8_t> chunk(kMaxChunk);
    for (;;) {
        const auto header = reader.ReadRecordHeader();
        if (!header || header->IsEndRecord())
            return sums;
        std::uint32_t sum = 0;
        for (std::uint32_t done = 0; done < header->length;) {
            const std::size_t n = std::min<std::size_t>(kMaxChunk, header->length - done);
            if (!reader.ReadData({chunk.data(), n}))
                return sums;
            sum += RecordByteSum({chunk.data(), n});
            done += static_cast<std::uint32_t>(n);
        }
        sums.push_back(sum);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::pda;
    static const ScratchFile scratch;
    scratch.Write(data, size);

    const ImageSummary summary = ScanBootImage(scratch.path);
    if (summary.fileSize != size)
        std::abort();
    // Every byte the scan accepted lies inside the file.
    std::uint64_t consumed = kImageHeaderSize;
    for (const RecordSummary& record : summary.records)
        consumed += kRecordHeaderSize + record.header.length;
    if (summary.error == ImageReadError::None &&
        (!summary.launchAddress || consumed + kRecordHeaderSize > size))
        std::abort();
    if (summary.error != ImageReadError::None &&
        (summary.launchAddress || summary.errorText.empty() || summary.errorOffset > size))
        std::abort();

    const std::vector<std::uint32_t> sums = SumsInChunks(scratch.path);
    if (sums.size() != summary.records.size())
        std::abort();
    for (std::size_t i = 0; i < sums.size(); ++i)
        if (sums[i] != summary.records[i].computedSum)
            std::abort();
    return 0;
}
