#pragma once
// STM list files (".stm"): one "-name" line per partition file, in file-role
// order (row 0 second-stage boot ... row 7 normal image), at most eight.

#include "common/notes.h"

#include <array>
#include <string>

namespace marlow::uartloader {

inline constexpr std::size_t kStmMaxEntries = 8;

struct StmList {
    std::array<std::string, 9>
        paths; // list folder + name; rows past the entries keep earlier values
    std::array<std::string, 8> names;
};

struct StmReadResult {
    std::size_t entryCount = 0;
    bool listInvalid = false; // wrong extension or an invalid line
    Notes notes;              // message boxes, in order
};

// Reads `listPath` into `list` (entries 0..count-1 replaced, the rest kept).
// A list that cannot be opened or read is invalid and says so in `notes`
// ("Failed to open file <name>"); a line longer than 4096 characters or
// holding a NUL counts as an invalid line.
StmReadResult ReadStmList(const std::string& listPath, StmList& list);

} // namespace marlow::uartloader
