#include "pda/boot_image.h"

#include "common/little_endian.h"
#include "common/printable_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace marlow::pda {

namespace {

// Bytes 0..6 are the sync characters; the download skips them unchecked.
constexpr std::size_t kStartAddressOffset = 7;
constexpr std::size_t kImageLengthOffset = 11;

// The scan's read size: large enough that the file system, not the loop,
// sets the pace; fixed, so a record's length never decides an allocation.
constexpr std::size_t kScanBlock = 64 * 1024;

#if defined(__x86_64__)
// The same sums as the SSE2 loop below, 32 bytes an instruction: the whole
// file goes through this twice (the check, then each packet's checksum), so
// it is worth the processors that have AVX2. Consumes whole 64-byte steps
// and leaves the rest to the caller.
__attribute__((target("avx2"))) std::uint64_t SumAvx2(const std::uint8_t*& next,
                                                      std::size_t& left) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i even = zero;
    __m256i odd = zero;
    for (; left >= 64; left -= 64, next += 64) {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(next));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(next + 32));
        even = _mm256_add_epi64(even, _mm256_sad_epu8(first, zero));
        odd = _mm256_add_epi64(odd, _mm256_sad_epu8(second, zero));
    }
    const __m256i both = _mm256_add_epi64(even, odd);
    const __m128i lanes =
        _mm_add_epi64(_mm256_castsi256_si128(both), _mm256_extracti128_si256(both, 1));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(lanes)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(lanes, lanes)));
}

// Asked once, before main; the processor's features need their own
// set-up first when asked from a static initialiser.
const bool kHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

} // namespace

ImageHeader ParseImageHeader(std::span<const std::uint8_t, kImageHeaderSize> bytes) {
    return ImageHeader{LoadLe32(bytes, kStartAddressOffset), LoadLe32(bytes, kImageLengthOffset)};
}

RecordHeader ParseRecordHeader(std::span<const std::uint8_t, kRecordHeaderSize> bytes) {
    return RecordHeader{LoadLe32(bytes, 0), LoadLe32(bytes, 4), LoadLe32(bytes, 8)};
}

std::uint32_t RecordByteSum(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* next = bytes.data();
    std::size_t left = bytes.size();
    std::uint64_t total = 0;
#if defined(__x86_64__)
    if (kHasAvx2)
        total = SumAvx2(next, left);
#endif
#if defined(__SSE2__)
    // psadbw against zero adds eight bytes into a 64-bit lane in one
    // instruction, and a 64-bit lane cannot overflow on any input; two
    // accumulators keep the adds from waiting on each other.
    const __m128i zero = _mm_setzero_si128();
    __m128i even = zero;
    __m128i odd = zero;
    for (; left >= 32; left -= 32, next += 32) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next + 16));
        even = _mm_add_epi64(even, _mm_sad_epu8(first, zero));
        odd = _mm_add_epi64(odd, _mm_sad_epu8(second, zero));
    }
    const __m128i lanes = _mm_add_epi64(even, odd);
    total += static_cast<std::uint64_t>(_mm_cvtsi128_si64(lanes)) +
             static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(lanes, lanes)));
#else
    // Sixteen 16-bit lanes fill exactly one NEON register; 256 rows of bytes
    // add at most 256 * 255 = 65280 to a lane, so a lane never wraps before
    // it is folded into the total. Compilers turn the fixed-width inner loop
    // into widening vector adds.
    constexpr std::size_t kLanes = 16;
    constexpr std::size_t kRowsPerBlock = 256;
    while (left >= kLanes) {
        const std::size_t rows = std::min(left / kLanes, kRowsPerBlock);
        std::array<std::uint16_t, kLanes> lanes{};
        for (std::size_t row = 0; row < rows; ++row, next += kLanes)
            for (std::size_t lane = 0; lane < kLanes; ++lane)
                lanes[lane] = static_cast<std::uint16_t>(lanes[lane] + next[lane]);
        for (const std::uint16_t lane : lanes)
            total += lane;
        left -= rows * kLanes;
    }
#endif
    for (; left > 0; --left)
        total += *next++;
    return static_cast<std::uint32_t>(total);
}

std::uint32_t ChunkCount(std::uint32_t length) {
    return length / kMaxChunk + (length % kMaxChunk != 0 ? 1 : 0);
}

Status BootImageReader::Open(const std::string& path) {
    Close();
    error_ = ImageReadError::None;
    errorOffset_ = 0;
    Result<ReadThroughFile> opened = ReadThroughFile::Open(path);
    if (!opened)
        return Fail(ImageReadError::Open, 0,
                    "cannot open " + Printable(path) + ": " + opened.Error());
    file_ = std::move(opened).Value();
    return {};
}

std::uint64_t BootImageReader::FileSize() const {
    return file_ ? file_->Size() : 0;
}

std::uint64_t BootImageReader::Offset() const {
    return file_ ? file_->Position() : 0;
}

FileIdentity BootImageReader::Identity() const {
    return file_ ? file_->Identity() : FileIdentity{};
}

Result<FileIdentity> BootImageReader::IdentityNow() const {
    if (!file_)
        return Failure{"no image file is open"};
    return file_->IdentityNow();
}

Status BootImageReader::ReadRest() {
    if (!file_)
        return Failure{"no image file is open"};
    std::vector<std::uint8_t> block(kScanBlock);
    while (const std::size_t got = file_->Read(block))
        Digest(std::span(block).first(got));
    if (file_->ReadFailed())
        return Fail(ImageReadError::RecordData, file_->Position(),
                    "the bytes after the end record could not be read (offset " +
                        std::to_string(file_->Position()) + ")");
    return {};
}

void BootImageReader::Close() {
    file_.reset();
    recordDataStart_ = recordLength_ = recordDataDone_ = 0;
}

Failure BootImageReader::Fail(ImageReadError error, std::uint64_t offset, std::string text) {
    error_ = error;
    errorOffset_ = offset;
    return Failure{std::move(text)};
}

Failure BootImageReader::FailShortRead(ImageReadError error, const char* what, std::uint64_t offset,
                                       std::uint64_t got, std::uint64_t wanted) {
    const bool ioError = file_ && file_->ReadFailed();
    char text[160];
    if (ioError)
        std::snprintf(text, sizeof text, "%s at offset %llu could not be read (%llu of %llu bytes)",
                      what, static_cast<unsigned long long>(offset),
                      static_cast<unsigned long long>(got),
                      static_cast<unsigned long long>(wanted));
    else
        std::snprintf(text, sizeof text, "%s at offset %llu is truncated (%llu of %llu bytes)",
                      what, static_cast<unsigned long long>(offset),
                      static_cast<unsigned long long>(got),
                      static_cast<unsigned long long>(wanted));
    return Fail(error, offset, text);
}

Result<ImageHeader> BootImageReader::ReadHeader() {
    if (!file_)
        return Fail(ImageReadError::Signature, 0,
                    "image header cannot be read: no image file is open");
    const std::uint64_t at = file_->Position();
    std::array<std::uint8_t, kImageHeaderSize> bytes{};
    const std::size_t got = file_->Read(bytes);
    if (got != bytes.size())
        return FailShortRead(ImageReadError::Signature, "image header", at, got, bytes.size());
    Digest(bytes);
    return ParseImageHeader(bytes);
}

Result<RecordHeader> BootImageReader::ReadRecordHeader() {
    // Whatever happens below, the previous record's fields are gone.
    recordDataStart_ = recordLength_ = recordDataDone_ = 0;
    if (!file_)
        return Fail(ImageReadError::RecordHeader, 0,
                    "record header cannot be read: no image file is open");
    const std::uint64_t at = file_->Position();
    std::array<std::uint8_t, kRecordHeaderSize> bytes{};
    const std::size_t got = file_->Read(bytes);
    if (got != bytes.size())
        return FailShortRead(ImageReadError::RecordHeader, "record header", at, got, bytes.size());
    Digest(bytes);
    const RecordHeader header = ParseRecordHeader(bytes);
    if (!header.IsEndRecord()) {
        recordDataStart_ = file_->Position();
        recordLength_ = header.length;
    }
    return header;
}

Status BootImageReader::ReadData(std::span<std::uint8_t> into) {
    return ReadData(std::span(&into, 1)).status;
}

PartialRead BootImageReader::ReadData(std::span<const std::span<std::uint8_t>> places) {
    if (!file_)
        return {0, Fail(ImageReadError::RecordData, 0,
                        "record data cannot be read: no image file is open")};
    std::uint64_t wanted = 0;
    for (const std::span<std::uint8_t> place : places)
        wanted += place.size();
    if (wanted > DataLeftInRecord()) {
        char text[160];
        std::snprintf(
            text, sizeof text,
            "record data at offset %llu: %llu bytes asked for, only %llu left in the record",
            static_cast<unsigned long long>(recordDataStart_),
            static_cast<unsigned long long>(wanted),
            static_cast<unsigned long long>(DataLeftInRecord()));
        return {0, Fail(ImageReadError::RecordData, recordDataStart_, text)};
    }
    std::size_t got = file_->Read(places);
    recordDataDone_ += got;
    if (got == wanted) {
        if (digest_ != nullptr)
            for (const std::span<std::uint8_t> place : places)
                digest_->Update(place);
        return {places.size(), {}};
    }
    Failure failure = FailShortRead(ImageReadError::RecordData, "record data", recordDataStart_,
                                    recordDataDone_, recordLength_);
    std::size_t filled = 0;
    for (; got >= places[filled].size(); ++filled)
        got -= places[filled].size();
    return {filled, std::move(failure)};
}

namespace {

// The rest of the file into the digest, and the file still the one opened:
// a digest of bytes that changed while they were read would describe no
// state of the file at all.
void FinishDigest(BootImageReader& reader, Sha256& hash, ImageSummary& summary) {
    if (const Status read = reader.ReadRest(); !read) {
        summary.error = reader.Error();
        summary.errorOffset = reader.ErrorOffset();
        summary.errorText = read.Error();
        return;
    }
    const Result<FileIdentity> now = reader.IdentityNow();
    if (const std::string change = now ? ChangeBetween(summary.identity, *now) : now.Error();
        !change.empty()) {
        summary.error = ImageReadError::RecordData;
        summary.errorText = "the file changed while it was checked: " + change;
        return;
    }
    summary.sha256 = hash.Final();
}

} // namespace

ImageSummary ScanBootImage(const std::string& path, std::size_t maxRecords, ScanDigest digest) {
    ImageSummary summary;
    BootImageReader reader;
    std::optional<Sha256> hash;
    if (digest == ScanDigest::Sha256)
        reader.DigestInto(&hash.emplace());
    const auto finishWithError = [&](const std::string& text) {
        summary.error = reader.Error();
        summary.errorOffset = reader.ErrorOffset();
        summary.errorText = text;
        return summary;
    };

    if (const Status opened = reader.Open(path); !opened)
        return finishWithError(opened.Error());
    summary.fileSize = reader.FileSize();
    summary.identity = reader.Identity();

    const Result<ImageHeader> header = reader.ReadHeader();
    if (!header)
        return finishWithError(header.Error());
    summary.header = *header;

    std::vector<std::uint8_t> block(kScanBlock);
    for (;;) {
        RecordSummary record;
        record.fileOffset = reader.Offset();
        const Result<RecordHeader> recordHeader = reader.ReadRecordHeader();
        if (!recordHeader)
            return finishWithError(recordHeader.Error());
        if (recordHeader->IsEndRecord()) {
            summary.launchAddress = recordHeader->LaunchAddress();
            if (hash)
                FinishDigest(reader, *hash, summary);
            return summary;
        }
        if (summary.records.size() == maxRecords) {
            summary.error = ImageReadError::TooManyRecords;
            summary.errorOffset = record.fileOffset;
            summary.errorText = "more than " + std::to_string(maxRecords) +
                                " records before the end record: no boot image, or a damaged one";
            return summary;
        }
        record.header = *recordHeader;
        record.chunkCount = ChunkCount(recordHeader->length);
        // The length comes from the file, so it is only a promise: read it
        // block by block and let a short file end the scan.
        while (reader.DataLeftInRecord() > 0) {
            const auto size = static_cast<std::size_t>(
                std::min<std::uint64_t>(reader.DataLeftInRecord(), kScanBlock));
            const std::span<std::uint8_t> data(block.data(), size);
            if (const Status read = reader.ReadData(data); !read)
                return finishWithError(read.Error());
            record.computedSum += RecordByteSum(data);
        }
        summary.records.push_back(record);
    }
}

} // namespace marlow::pda
