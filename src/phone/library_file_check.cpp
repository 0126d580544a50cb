#include "phone/library_file_check.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace marlow::phone {
namespace {

constexpr std::array<std::uint8_t, 4> kElfMagic{0x7F, 'E', 'L', 'F'};
constexpr std::size_t kClassAt = 4;
constexpr std::size_t kByteOrderAt = 5;
constexpr std::uint8_t kClass32 = 1;
constexpr std::uint8_t kClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::uint8_t kBigEndian = 2;
constexpr std::uint64_t kSharedObjectType = 3; // ET_DYN
constexpr std::uint64_t kLoadSegment = 1;      // PT_LOAD

// The ELF machine numbers of the processors Marlow is built for.
constexpr std::uint16_t ThisMachine() {
#if defined(__x86_64__)
    return 62;
#elif defined(__i386__)
    return 3;
#elif defined(__aarch64__)
    return 183;
#elif defined(__arm__)
    return 40;
#elif defined(__riscv)
    return 243;
#elif defined(__powerpc64__)
    return 21;
#else
    return 0;
#endif
}

// Where the fields this check reads lie, for each class.
struct Layout {
    std::size_t headerSize;
    std::size_t wordSize; // e_phoff, p_offset, p_filesz
    std::size_t phoffAt;
    std::size_t phentsizeAt;
    std::size_t phnumAt;
    std::size_t entrySize;
    std::size_t offsetAt; // in a program header
    std::size_t fileSizeAt;
};
constexpr std::size_t kTypeAt = 16;
constexpr std::size_t kMachineAt = 18;
constexpr Layout kLayout32{52, 4, 28, 42, 44, 32, 4, 16};
constexpr Layout kLayout64{64, 8, 32, 54, 56, 56, 8, 32};

// Unsigned fields of `width` bytes in the file's own byte order.
class Fields {
public:
    Fields(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}
    std::uint64_t At(std::size_t offset, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t index = bigEndian_ ? i : width - 1 - i;
            value = value << 8 | bytes_[offset + index];
        }
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
};

std::string Bits(std::uint8_t fileClass) {
    return fileClass == kClass64   ? "64-bit"
           : fileClass == kClass32 ? "32-bit"
                                   : "of no known class";
}

std::string Order(std::uint8_t byteOrder) {
    return byteOrder == kLittleEndian ? "little-endian"
           : byteOrder == kBigEndian  ? "big-endian"
                                      : "of no known byte order";
}

Failure CutShort(const std::string& what, std::uint64_t end, std::uint64_t fileSize) {
    return Failure{"it is cut short: " + what + " reaches byte " + std::to_string(end) +
                   ", the file holds " + std::to_string(fileSize) + " bytes"};
}

} // namespace

std::optional<ElfKind> ThisProgramKind() {
#if defined(__ELF__)
    return ElfKind{
        .fileClass = sizeof(void*) == 8 ? kClass64 : kClass32,
        .byteOrder = std::endian::native == std::endian::little ? kLittleEndian : kBigEndian,
        .machine = ThisMachine(),
    };
#else
    return std::nullopt;
#endif
}

Status CheckSharedObject(const ReadFileAt& read, std::uint64_t fileSize, const ElfKind& want) {
    std::array<std::uint8_t, kLayout64.headerSize> header{};
    const std::size_t headerRead = std::min<std::uint64_t>(fileSize, header.size());
    if (headerRead < kLayout32.headerSize || !read(0, std::span(header).first(headerRead)) ||
        !std::equal(kElfMagic.begin(), kElfMagic.end(), header.begin()))
        return Failure{"it has no ELF header"};
    const std::uint8_t fileClass = header[kClassAt];
    const std::uint8_t byteOrder = header[kByteOrderAt];
    if (fileClass != want.fileClass)
        return Failure{"it is built for another machine (" + Bits(fileClass) +
                       ", this program is " + Bits(want.fileClass) + ")"};
    if (byteOrder != want.byteOrder)
        return Failure{"it is built for another machine (" + Order(byteOrder) +
                       ", this program is " + Order(want.byteOrder) + ")"};
    const Layout& layout = fileClass == kClass64 ? kLayout64 : kLayout32;
    if (headerRead < layout.headerSize)
        return CutShort("its ELF header", layout.headerSize, fileSize);
    const Fields fields(header, byteOrder == kBigEndian);
    const auto machine = static_cast<std::uint16_t>(fields.At(kMachineAt, 2));
    if (want.machine != 0 && machine != want.machine)
        return Failure{"it is built for another machine (ELF machine " + std::to_string(machine) +
                       ", this program's is " + std::to_string(want.machine) + ")"};
    if (const std::uint64_t type = fields.At(kTypeAt, 2); type != kSharedObjectType)
        return Failure{"it is no shared library (ELF type " + std::to_string(type) + ")"};

    const std::uint64_t tableAt = fields.At(layout.phoffAt, layout.wordSize);
    const std::uint64_t entrySize = fields.At(layout.phentsizeAt, 2);
    const std::uint64_t entries = fields.At(layout.phnumAt, 2);
    if (entrySize != layout.entrySize)
        return Failure{"its program headers are " + std::to_string(entrySize) +
                       " bytes each, not " + std::to_string(layout.entrySize)};
    // At most 65535 entries of 56 bytes: the table's end cannot overflow.
    const std::uint64_t tableSize = entries * entrySize;
    if (tableAt > fileSize || tableSize > fileSize - tableAt)
        return CutShort("its program header table", tableAt + tableSize, fileSize);
    std::vector<std::uint8_t> table(tableSize);
    if (!read(tableAt, table))
        return CutShort("its program header table", tableAt + tableSize, fileSize);

    const Fields segments(table, byteOrder == kBigEndian);
    std::size_t loadable = 0;
    for (std::uint64_t index = 0; index < entries; ++index) {
        const std::size_t at = index * entrySize;
        if (segments.At(at, 4) != kLoadSegment)
            continue;
        ++loadable;
        const std::uint64_t offset = segments.At(at + layout.offsetAt, layout.wordSize);
        const std::uint64_t size = segments.At(at + layout.fileSizeAt, layout.wordSize);
        if (offset > fileSize || size > fileSize - offset)
            return CutShort("loadable segment " + std::to_string(loadable),
                            offset > UINT64_MAX - size ? UINT64_MAX : offset + size, fileSize);
    }
    if (loadable == 0)
        return Failure{"it has no loadable segment"};
    return {};
}

Status CheckSharedObjectFile(int fd) {
    const std::optional<ElfKind> kind = ThisProgramKind();
    if (!kind)
        return {};
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return Failure{std::strerror(errno)};
    const auto readAt = [fd](std::uint64_t offset, std::span<std::uint8_t> into) {
        while (!into.empty()) {
            const ssize_t got = ::pread(fd, into.data(), into.size(), static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            into = into.subspan(static_cast<std::size_t>(got));
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    };
    return CheckSharedObject(readAt, static_cast<std::uint64_t>(status.st_size), *kind);
}

} // namespace marlow::phone
