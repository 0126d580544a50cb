#pragma once
// The Windows CE BIN boot image: a 15-byte header (7 sync bytes, start
// address, image length), then records of address/length/checksum + data,
// ended by the record whose address and checksum are both 0 (its length is
// the launch address). Anything after the end record is never read.

#include "common/read_through_file.h"
#include "common/result.h"
#include "common/sha256.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace marlow::pda {

inline constexpr std::size_t kImageHeaderSize = 15;
inline constexpr std::size_t kRecordHeaderSize = 12;
// The boot loader takes record data in chunks of at most this many bytes.
inline constexpr std::size_t kMaxChunk = 8192;

struct ImageHeader {
    std::uint32_t startAddress = 0;
    std::uint32_t imageLength = 0;
    bool operator==(const ImageHeader&) const = default;
};

struct RecordHeader {
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    std::uint32_t checksum = 0;
    bool IsEndRecord() const { return address == 0 && checksum == 0; }
    std::uint32_t LaunchAddress() const { return length; }
    bool operator==(const RecordHeader&) const = default;
};

ImageHeader ParseImageHeader(std::span<const std::uint8_t, kImageHeaderSize> bytes);
RecordHeader ParseRecordHeader(std::span<const std::uint8_t, kRecordHeaderSize> bytes);

// Sum of the bytes as unsigned 8-bit values, wrapping modulo 2^32.
std::uint32_t RecordByteSum(std::span<const std::uint8_t> bytes);

// Number of chunks a record of `length` data bytes is sent in.
std::uint32_t ChunkCount(std::uint32_t length);

enum class ImageReadError { None, Open, Signature, RecordHeader, RecordData, TooManyRecords };

// A read into several places may fill some of them before it fails: the
// filled ones are good data.
struct PartialRead {
    std::size_t filled = 0;
    Status status;
};

// Streams one image file from start to end record; never holds it whole.
// Every failure also leaves its kind and the offset of the header or record
// data that failed in Error() and ErrorOffset().
class BootImageReader {
public:
    Status Open(const std::string& path);
    std::uint64_t FileSize() const;
    std::uint64_t Offset() const;

    Result<ImageHeader> ReadHeader();        // Signature error on a short read
    Result<RecordHeader> ReadRecordHeader(); // RecordHeader error on a short read
    // Reads exactly into.size() bytes of the current record's data; asking
    // for more than the record has left is refused (it would read the next
    // record header as data).
    Status ReadData(std::span<std::uint8_t> into); // RecordData error on a short read
    // The same for several places at once, filled in order with as few read
    // calls as the file allows (one for a batch of packets). Says how many
    // places were filled whole; fewer than all fails with the RecordData error.
    PartialRead ReadData(std::span<const std::span<std::uint8_t>> places);
    std::uint64_t DataLeftInRecord() const { return recordLength_ - recordDataDone_; }
    void Close();

    // From here on every byte read, headers and data alike, also goes into
    // `digest` (nullptr: no more).
    void DigestInto(Sha256* digest) { digest_ = digest; }
    // Reads what follows the end record (a model/version trailer), for the
    // digest alone; fails when reading failed.
    Status ReadRest();
    // The file as it was opened (all zero while none is) and as it is now.
    FileIdentity Identity() const;
    Result<FileIdentity> IdentityNow() const;

    ImageReadError Error() const { return error_; }
    std::uint64_t ErrorOffset() const { return errorOffset_; }

private:
    Failure Fail(ImageReadError error, std::uint64_t offset, std::string text);
    Failure FailShortRead(ImageReadError error, const char* what, std::uint64_t offset,
                          std::uint64_t got, std::uint64_t wanted);
    void Digest(std::span<const std::uint8_t> bytes) {
        if (digest_ != nullptr)
            digest_->Update(bytes);
    }

    std::optional<ReadThroughFile> file_;
    Sha256* digest_ = nullptr;
    std::uint64_t recordDataStart_ = 0;
    std::uint64_t recordLength_ = 0;
    std::uint64_t recordDataDone_ = 0;
    ImageReadError error_ = ImageReadError::None;
    std::uint64_t errorOffset_ = 0;
};

// A whole pass over an image, for information displays and the CLI.
struct RecordSummary {
    std::uint64_t fileOffset = 0; // of the record header
    RecordHeader header;
    std::uint32_t computedSum = 0;
    std::uint32_t chunkCount = 0;
};

struct ImageSummary {
    ImageHeader header;
    std::vector<RecordSummary> records;         // data records only
    std::optional<std::uint32_t> launchAddress; // set once the end record was read
    std::uint64_t fileSize = 0;
    FileIdentity identity; // the file's as the scan opened it
    // The whole file's (what follows the end record too), when asked for
    // and the scan met no error.
    std::optional<Sha256Digest> sha256;
    ImageReadError error = ImageReadError::None;
    std::uint64_t errorOffset = 0;
    std::string errorText; // names what failed and at which offset
};

// A scan keeps one summary per record. Real images hold thousands; a file
// with more than this many records before its end record is refused rather
// than summarised into gigabytes.
inline constexpr std::size_t kMaxScanRecords = std::size_t{1} << 20;

enum class ScanDigest { None, Sha256 };

// With ScanDigest::Sha256 the same pass also hashes every byte of the file,
// and a file that changed while it was read fails the scan.
ImageSummary ScanBootImage(const std::string& path, std::size_t maxRecords = kMaxScanRecords,
                           ScanDigest digest = ScanDigest::None);

} // namespace marlow::pda
