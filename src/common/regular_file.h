#pragma once
// The tool reads and writes regular files only. A named pipe in a file's
// place would block the open until some other program came along, and a
// device such as /dev/zero never ends; both are refused before any byte is
// read, with a text that says why.

#include "common/result.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace marlow {

// open(2) with `flags` (O_RDONLY, or O_WRONLY with O_CREAT / O_TRUNC ...),
// but only when `path` names a regular file, or names nothing yet and the
// flags create it. Returns the descriptor (blocking, close-on-exec), or why
// not: "is not a regular file (a named pipe)", "is a
// folder", "the name holds a NUL byte", or the system's reason ("No such
// file or directory", "Too many levels of symbolic links", "File name too
// long", "Permission denied"). The name is looked at before the open, so
// that no device is ever opened, and what the open gave is looked at again:
// the rule holds for the file read or written, even when another program
// put a pipe in its place in between.
Result<int> OpenRegularFile(const std::string& path, int flags);

// True when `path` names a regular file or nothing yet, so that a file may
// be written there; otherwise why not.
Status NamesRegularFileOrNothing(const std::string& path);

// A stdio stream over a created or truncated regular file ("wb"), or why
// that is refused or fails.
Result<std::FILE*> CreateRegularFile(const std::string& path);

// Creates or truncates the regular file at `path` and writes `bytes` into
// it; why not when it cannot be created, is no regular file or did not take
// every byte.
Status WriteRegularFile(const std::string& path, std::span<const std::uint8_t> bytes);

// What tells one state of a file from another: the same file (device and
// inode) with the same size and the same times of its last write and of
// its last change. A file written to, cut short or replaced since differs
// in one of them; the change time cannot even be set back by its owner.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the open file `fd`, or the system's reason why not.
Result<FileIdentity> IdentityOf(int fd);
// How `now` differs from `before`, in a few words ("another file took its
// place", "its size went from 10 to 12 bytes", "it was written to"); empty
// when they are the same.
std::string ChangeBetween(const FileIdentity& before, const FileIdentity& now);

// Tests put another file in the checked one's place here, between the look
// at the name and the open; the program never sets it.
void SetSwapBeforeOpenForTests(void (*swap)(const std::string& path));

} // namespace marlow
