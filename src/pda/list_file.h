#pragma once
// List files (".lst"): image entries one per line, optionally ended by the
// phone group, and the small name rules the download shares.

#include "common/line_reader.h"
#include "common/notes.h"
#include "common/result.h"
#include "phone/phone_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::pda {

enum class ListLineKind { ImageEntry, PhoneGroupStart, EndOfList };

struct ListLine {
    ListLineKind kind;
    std::string text; // entry name without "+", or phone file name without "-"
    bool operator==(const ListLine&) const = default;
};

ListLine ClassifyListLine(std::string_view line);

// 2 "quill_all.lst", 1 "quill.lst", 0 any other "*.bin" (case-insensitive),
// 255 anything else. The list names compare exactly.
std::uint8_t ListKindOf(std::string_view downloadPath);

// The image counter's total on the front panel for a list kind (7, 6, or 0).
int ListCounterTotal(std::uint8_t listKind);

// A list line is a path (at most a few hundred characters); a list names a
// handful of images. Anything far beyond is no list.
inline constexpr LineLimits kListLineLimits{4096, 1024};

struct ListEntry {
    std::string name; // as written (display name)
    std::string path; // list directory + name, as ResolveListedPath finds it
    std::optional<std::string> ambiguity = {}; // see ListedPath
    bool operator==(const ListEntry&) const = default;
};

struct PhoneGroupFile {
    std::string name;
    std::string path;
    phone::PhoneFileRole role = phone::PhoneFileRole::None;
    std::optional<std::string> ambiguity = {}; // see ListedPath
    bool operator==(const PhoneGroupFile&) const = default;
};

// The rest of a phone group once its first line has been classified: the
// first name, then up to three further lines exactly as they stand (a "-"
// on them stays). Paths are the list directory + the name as
// ResolveListedPath finds it. Reading stops at the end of the file or at a
// faulty line; the names before a fault stand. A path over
// phone::kMaxPhonePath is such a fault.
struct PhoneGroup {
    std::vector<PhoneGroupFile> files; // at most four
    Status read;                       // a failure: the faulty line that ended the group
    Notes notes;                       // trace lines about the names (see ResolveListedPath)
};
PhoneGroup ReadPhoneGroup(LineReader& lines, std::string_view firstName,
                          std::string_view listDirectory);

// Whole-list view for the CLI and information displays; the download walks
// the same rules one line at a time.
struct ListContents {
    std::vector<ListEntry> entries;
    bool hasPhoneGroup = false;
    std::vector<PhoneGroupFile> phoneGroup; // at most four
    // A failure: why the file could not be read to its end; what was read
    // before stands.
    Status read;
    Notes notes; // trace lines about the names (see ResolveListedPath)
    bool NamesNothing() const { return entries.empty() && phoneGroup.empty(); }
};

// What to say about a list that names neither an image nor a phone file.
std::string NothingListedText(const std::string& listPath);

ListContents ReadListFile(const std::string& listPath);

} // namespace marlow::pda
