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
    Notes notes;              // message boxes, and trace lines about names found ignoring case
};

// Reads `listPath` into `list` (entries 0..count-1 replaced, the rest kept;
// paths as ResolveListedPath finds them). A list that cannot be opened or
// read to its end is invalid and says so in `notes` ("Failed to open file
// <name>: why"; "Failed to read file <name>: " and the limit it went past, more
// than 4096 characters on a line or more than 256 lines). A line holding a
// NUL is an invalid line.
StmReadResult ReadStmList(const std::string& listPath, StmList& list);

} // namespace marlow::uartloader
