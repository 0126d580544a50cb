// Feeds arbitrary bytes through the image reader exactly as the download
// and the information display meet them: from a file on disk.
#include "pda/boot_image.h"
#include "scratch_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

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
    static const marlow::fuzz::ScratchFile scratch("image.bin");
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
