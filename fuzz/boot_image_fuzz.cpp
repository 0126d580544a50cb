// Feeds arbitrary bytes through the image reader exactly as the download
// and the information display meet them: from a file on disk.
#include "pda/boot_image.h"
#include "scratch_file.h"

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

// The download's own walk: chunks of at most kMaxChunk, read a few at a
// time into places of their own, one sum per record.
std::vector<std::uint32_t> SumsInChunks(const std::string& path) {
    using namespace marlow::pda;
    constexpr std::size_t kBatch = 3;
    std::vector<std::uint32_t> sums;
    BootImageReader reader;
    if (!reader.Open(path) || !reader.ReadHeader())
        return sums;
    std::vector<std::uint8_t> chunks(kBatch * kMaxChunk);
    for (;;) {
        const auto header = reader.ReadRecordHeader();
        if (!header || header->IsEndRecord())
            return sums;
        std::uint32_t sum = 0;
        for (std::uint64_t done = 0; done < header->length;) {
            std::vector<std::span<std::uint8_t>> places;
            for (std::uint64_t next = done; places.size() < kBatch && next < header->length;
                 next += kMaxChunk)
                places.emplace_back(chunks.data() + places.size() * kMaxChunk,
                                    std::min<std::uint64_t>(kMaxChunk, header->length - next));
            const std::size_t filled = reader.ReadData(places).filled;
            for (std::size_t i = 0; i < filled; ++i) {
                sum += RecordByteSum(places[i]);
                done += places[i].size();
            }
            if (filled < places.size())
                return sums;
        }
        sums.push_back(sum);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marlow::pda;
    static const marlow::fuzz::ScratchFile kScratch("image.bin");
    kScratch.Write(data, size);

    const ImageSummary summary = ScanBootImage(kScratch.path);
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

    const std::vector<std::uint32_t> sums = SumsInChunks(kScratch.path);
    if (sums.size() != summary.records.size())
        std::abort();
    for (std::size_t i = 0; i < sums.size(); ++i)
        if (sums[i] != summary.records[i].computedSum)
            std::abort();
    return 0;
}
