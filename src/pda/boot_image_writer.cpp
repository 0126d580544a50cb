#include "pda/boot_image_writer.h"

#include "common/little_endian.h"
#include "common/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace marlow::pda {

namespace {

constexpr std::size_t kChecksumOffsetInHeader = 8;
// Generated records are produced and written in blocks of this size.
constexpr std::size_t kWriteBlock = 1024 * 1024;

void AppendRecordHeader(std::vector<std::uint8_t>& out, const RecordHeader& header) {
    AppendLe32(out, header.address);
    AppendLe32(out, header.length);
    AppendLe32(out, header.checksum);
}

std::vector<std::uint8_t> ImageHeaderBytes(const ImageHeader& header) {
    std::vector<std::uint8_t> out(kImageHeaderSize);
    std::copy(kBootImageSignature.begin(), kBootImageSignature.end(), out.begin());
    StoreLe32(out, kBootImageSignature.size(), header.startAddress);
    StoreLe32(out, kBootImageSignature.size() + 4, header.imageLength);
    return out;
}

std::string SystemReason() {
    return std::strerror(errno);
}

} // namespace

std::vector<std::uint8_t> BuildBootImage(const BootImagePlan& plan) {
    std::vector<std::uint8_t> out = ImageHeaderBytes({plan.startAddress, plan.imageLength});
    for (const RecordPlan& record : plan.records) {
        const std::uint32_t checksum = record.storedChecksum.value_or(RecordByteSum(record.data));
        AppendRecordHeader(
            out, {record.address, static_cast<std::uint32_t>(record.data.size()), checksum});
        out.insert(out.end(), record.data.begin(), record.data.end());
    }
    if (plan.withEndRecord)
        AppendRecordHeader(out, {0, plan.launchAddress, 0});
    out.insert(out.end(), plan.trailing.begin(), plan.trailing.end());
    if (plan.truncateAt && *plan.truncateAt < out.size())
        out.resize(*plan.truncateAt);
    return out;
}

std::uint8_t PatternByte(std::uint32_t seed, std::uint64_t offset) {
    // A multiplicative hash of the position: no period a record length could
    // hide behind, and cheap enough to generate gigabytes.
    std::uint64_t x = offset + static_cast<std::uint64_t>(seed) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    return static_cast<std::uint8_t>(x >> 56);
}

RecordDataSource PatternData(std::uint32_t seed) {
    return [seed](std::uint64_t offset, std::span<std::uint8_t> block) {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = PatternByte(seed, offset + i);
    };
}

Failure BootImageFileWriter::Fail(std::string text) {
    failed_ = Failure{text};
    file_.reset();
    return Failure{std::move(text)};
}

Status BootImageFileWriter::Create(const std::string& path, ImageHeader header) {
    file_.reset();
    failed_ = Status();
    offset_ = 0;
    path_ = path;
    const Result<std::FILE*> created = CreateRegularFile(path);
    if (!created)
        return Fail("cannot create " + path + " (" + created.Error() + ")");
    file_.reset(*created);
    return Write(ImageHeaderBytes(header));
}

Status BootImageFileWriter::Write(std::span<const std::uint8_t> bytes) {
    if (!file_)
        return failed_ ? Fail("no image file is open") : failed_;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
        return Fail("cannot write " + path_ + " (" + SystemReason() + ")");
    offset_ += bytes.size();
    return {};
}

Status BootImageFileWriter::PatchChecksum(std::uint64_t headerOffset, std::uint32_t checksum) {
    std::vector<std::uint8_t> bytes;
    AppendLe32(bytes, checksum);
    const auto at = static_cast<off_t>(headerOffset + kChecksumOffsetInHeader);
    if (fseeko(file_.get(), at, SEEK_SET) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size() ||
        fseeko(file_.get(), static_cast<off_t>(offset_), SEEK_SET) != 0)
        return Fail("cannot update a record checksum in " + path_ + " (" + SystemReason() + ")");
    return {};
}

Status BootImageFileWriter::AddRecord(std::uint32_t address, std::span<const std::uint8_t> data) {
    const auto source = [data](std::uint64_t offset, std::span<std::uint8_t> block) {
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), block.size(),
                    block.begin());
    };
    return AddRecord(address, static_cast<std::uint32_t>(data.size()), source);
}

Status BootImageFileWriter::AddRecord(std::uint32_t address, std::uint32_t length,
                                      const RecordDataSource& source) {
    // The checksum precedes the data it covers; write a placeholder and fill
    // it in once the data has gone by, instead of producing the data twice.
    const std::uint64_t headerOffset = offset_;
    std::vector<std::uint8_t> header;
    AppendRecordHeader(header, {address, length, 0});
    if (Status written = Write(header); !written)
        return written;

    std::vector<std::uint8_t> block(std::min<std::size_t>(length, kWriteBlock));
    std::uint32_t checksum = 0;
    for (std::uint64_t done = 0; done < length;) {
        const std::span<std::uint8_t> part(block.data(),
                                           std::min<std::uint64_t>(length - done, block.size()));
        source(done, part);
        checksum += RecordByteSum(part);
        if (Status written = Write(part); !written)
            return written;
        done += part.size();
    }
    if (address == 0 && checksum == 0 && length > 0)
        return Fail("a record at address 0 whose bytes sum to 0 would read as the end record");
    return PatchChecksum(headerOffset, checksum);
}

Status BootImageFileWriter::AddEndRecord(std::uint32_t launchAddress) {
    std::vector<std::uint8_t> header;
    AppendRecordHeader(header, {0, launchAddress, 0});
    return Write(header);
}

Status BootImageFileWriter::AddBytes(std::span<const std::uint8_t> bytes) {
    return Write(bytes);
}

Status BootImageFileWriter::Close() {
    if (!file_)
        return failed_;
    const bool flushed = std::fflush(file_.get()) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!flushed || !closed)
        return Fail("cannot finish " + path_ + " (" + SystemReason() + ")");
    return {};
}

Status WriteGeneratedImage(const std::string& path, const GeneratedImageShape& shape) {
    if (shape.recordLength == 0 && shape.dataBytes > 0)
        return Failure{"generated records need a length above 0"};

    const RecordDataSource pattern = PatternData(shape.seed);
    BootImageFileWriter writer;
    Status ok = writer.Create(path, {shape.startAddress, shape.dataBytes});
    for (std::uint32_t done = 0; ok && done < shape.dataBytes;) {
        const std::uint32_t length = std::min(shape.recordLength, shape.dataBytes - done);
        // One pattern across the whole image, so record boundaries do not
        // repeat the same bytes.
        ok = writer.AddRecord(
            shape.startAddress + done, length,
            [&pattern, base = done](std::uint64_t offset, std::span<std::uint8_t> block) {
                pattern(base + offset, block);
            });
        done += length;
    }
    if (ok)
        ok = writer.AddEndRecord(shape.launchAddress);
    return ok ? writer.Close() : ok;
}

} // namespace marlow::pda
