#pragma once
// The system's loader maps a library into the program where its header says
// each part of the file lies, and believes it: a file cut short (a copy that
// stopped half-way) is mapped past its end, and the first touch of the
// missing part kills the program with SIGBUS inside the loader. So before a
// download library is loaded, its file is checked to be a whole shared
// object of this program's own kind: the ELF header's class, byte order and
// machine, and every loadable segment inside the file. Only ELF is known
// here; where programs are no ELF files, the check passes everything.

#include "common/result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace marlow::phone {

struct ElfKind {
    std::uint8_t fileClass = 0; // 1: 32-bit, 2: 64-bit
    std::uint8_t byteOrder = 0; // 1: little-endian, 2: big-endian
    std::uint16_t machine = 0;  // the ELF machine number; 0 takes any
    bool operator==(const ElfKind&) const = default;
};

// The kind of this program; nullopt where programs are no ELF files.
std::optional<ElfKind> ThisProgramKind();

// Fills `into` from the file's byte `offset` on; false when the file ends
// before.
using ReadFileAt = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> into)>;

// Why a file of `fileSize` bytes, read through `read`, is no whole shared
// object of kind `want`: a clause such as "it is cut short: loadable segment
// 2 reaches byte 90112, the file holds 3000 bytes", for the caller to put
// after the file's name.
Status CheckSharedObject(const ReadFileAt& read, std::uint64_t fileSize, const ElfKind& want);

// The same for an open file, against this program's kind.
Status CheckSharedObjectFile(int fd);

} // namespace marlow::phone
