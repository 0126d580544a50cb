#pragma once
// Our own boot image writer, for sample sets, tests, device emulators and
// benchmarks. The download only ever reads images; nothing on the download
// path depends on this file.

#include "pda/boot_image.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::pda {

// The Windows CE BIN sync bytes that open every image.
inline constexpr std::string_view kBootImageSignature = "B000FF\n";

struct RecordPlan {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
    // Stored instead of the computed sum: images with a wrong checksum, or a
    // data record that must look like an end record.
    std::optional<std::uint32_t> storedChecksum;
};

struct BootImagePlan {
    std::uint32_t startAddress = 0;
    std::uint32_t imageLength = 0;
    std::vector<RecordPlan> records;
    std::uint32_t launchAddress = 0;
    bool withEndRecord = true;
    std::vector<std::uint8_t> trailing;    // after the end record, e.g. a model/version trailer
    std::optional<std::size_t> truncateAt; // keep only this many bytes: a file cut short
};

// The common case, without spelling out every option.
inline BootImagePlan MakeBootImagePlan(std::uint32_t startAddress, std::uint32_t imageLength,
                                       std::vector<RecordPlan> records,
                                       std::uint32_t launchAddress) {
    BootImagePlan plan;
    plan.startAddress = startAddress;
    plan.imageLength = imageLength;
    plan.records = std::move(records);
    plan.launchAddress = launchAddress;
    return plan;
}

// The whole image in memory, exactly as planned (no sanity checks: hostile
// images are a use case).
std::vector<std::uint8_t> BuildBootImage(const BootImagePlan& plan);

// Fills `block` with the record data that starts `offset` bytes into the record.
using RecordDataSource = std::function<void(std::uint64_t offset, std::span<std::uint8_t> block)>;

// A cheap deterministic byte stream: the same seed and offset give the same
// byte, so a reader can check what it received without a copy of the file.
std::uint8_t PatternByte(std::uint32_t seed, std::uint64_t offset);
RecordDataSource PatternData(std::uint32_t seed);

// Writes an image to a file as it goes, so images far larger than memory
// (gigabytes of generated data) can be produced. After a failure the file
// is closed and every later call fails the same way; the file is closed on
// every path by the destructor at the latest.
class BootImageFileWriter {
public:
    Status Create(const std::string& path, ImageHeader header);
    Status AddRecord(std::uint32_t address, std::span<const std::uint8_t> data);
    // Streams `length` bytes from `source` and stores their sum afterwards.
    Status AddRecord(std::uint32_t address, std::uint32_t length, const RecordDataSource& source);
    Status AddEndRecord(std::uint32_t launchAddress);
    // Raw bytes at the current end: trailers, or garbage for hostile files.
    Status AddBytes(std::span<const std::uint8_t> bytes);
    // Flushes and closes; fails when the data did not reach the file.
    Status Close();

    std::uint64_t Offset() const { return offset_; }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    Status Write(std::span<const std::uint8_t> bytes);
    Status PatchChecksum(std::uint64_t headerOffset, std::uint32_t checksum);
    Failure Fail(std::string text);

    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::uint64_t offset_ = 0;
    Status failed_; // the failure that closed the file
};

// Contiguous records from startAddress covering dataBytes of pattern data.
struct GeneratedImageShape {
    std::uint32_t startAddress = 0x80000000;
    std::uint32_t dataBytes = 0;
    std::uint32_t recordLength = 1024 * 1024;
    std::uint32_t seed = 1;
    std::uint32_t launchAddress = 0x80001000;
};

Status WriteGeneratedImage(const std::string& path, const GeneratedImageShape& shape);

} // namespace marlow::pda
