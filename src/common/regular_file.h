#pragma once
// The tool reads and writes regular files only. A named pipe in a file's
// place would block the open until some other program came along, and a
// device such as /dev/zero never ends; both are refused before any byte is
// read, with a text that says why.

#include "common/result.h"

#include <cstdio>
#include <string>

namespace marlow {

// open(2) with `flags` (O_RDONLY, or O_WRONLY with O_CREAT / O_TRUNC ...),
// but only when `path` names a regular file, or names nothing yet and the
// flags create it. Returns the descriptor (blocking, close-on-exec), or why
// not: "is not a regular file (a named pipe)", "is a
// folder", "the name holds a NUL byte", or the system's reason.
Result<int> OpenRegularFile(const std::string& path, int flags);

// True when `path` names a regular file or nothing yet, so that a file may
// be written there; otherwise why not.
Status NamesRegularFileOrNothing(const std::string& path);

// A stdio stream over a created or truncated regular file ("wb"), or why
// that is refused or fails.
Result<std::FILE*> CreateRegularFile(const std::string& path);

} // namespace marlow
