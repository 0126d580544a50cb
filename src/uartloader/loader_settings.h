#pragma once
// Everything the loader dialog keeps per run: the port, and for each of
// the nine file roles its file path, "Ext. Address" and "Entry Point" texts.
// Saved and loaded as ".mfl" files: 28 lines, the port then three per role.
// The port line is the port as chosen: "COM1" to "COM9" as the Windows PCs
// write it, or a device name or path typed in ("/dev/ttyUSB0").

#include "common/notes.h"
#include "common/result.h"

#include <array>
#include <string>

namespace marlow::uartloader {

inline constexpr std::size_t kFileRoleCount = 9;

struct FileRow {
    std::string path;
    std::string extAddress; // at most 8 hex digits
    std::string entryPoint; // at most 8 hex digits
    bool operator==(const FileRow&) const = default;
};

struct LoaderSettings {
    std::string port = "COM1"; // empty: none chosen
    std::array<FileRow, kFileRoleCount> rows;
    bool operator==(const LoaderSettings&) const = default;

    // The dialog's defaults: the nine default paths, "3D00000" in rows 7 and 8.
    static LoaderSettings Defaults();
};

// The 28 lines, each ended by LF.
std::string FormatMflText(const LoaderSettings& settings);

inline constexpr std::size_t kMflLineCount = 1 + 3 * kFileRoleCount;
inline constexpr std::size_t kMflMaxLine = 1023;

struct MflContents {
    LoaderSettings settings;   // the fields the file holds over those it was read onto
    std::size_t linesRead = 0; // below kMflLineCount for a short file
    bool portRead = false;     // false: line 1 was blank, the port kept
    Notes notes = {};          // what to tell the operator about a file read only in part
};

// Reads an .mfl file onto `current`. A short file fills what it has and
// leaves the remaining fields as they are; a line longer than kMflMaxLine
// refuses the whole file (its fields would not be what was saved). A
// failure says "Failed to open file <name>: <reason>" and the like.
Result<MflContents> ReadMflFile(const std::string& path, const LoaderSettings& current);

// Writes the 28 lines with CR LF on every platform: the files travel between
// the Windows and Linux PCs. Refuses fields that hold a line break, which
// would shift every later field on reading, and an existing path that is
// no regular file (see OpenRegularFile).
Status WriteMflFile(const std::string& path, const LoaderSettings& settings);

} // namespace marlow::uartloader
