#include "uartloader/stm_list.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/listed_path.h"
#include "common/path_rules.h"
#include "common/printable_text.h"

namespace marlow::uartloader {

namespace {

// The lists are written by hand: eight entries, perhaps a few comments, no
// line longer than a path. A file beyond that is no list and is not read on.
constexpr LineLimits kStmLineLimits{4096, 256};

constexpr char kWrongExtension[] = "Please Open the *.stm File";
constexpr char kInvalidLine[] = "Error : Invalid  *.stm File";
constexpr char kEndOfList[] = "End: File decoding  *.stm File";

bool HasStmExtension(const std::string& path) {
    return ToLowerAscii(LastChars(path, 4)) == ".stm";
}

// A NUL inside a name would cut the path short when the file is opened, so
// such a line is no entry either.
bool IsEntryLine(const std::string& line) {
    return !line.empty() && line.front() == '-' && line.find('\0') == std::string::npos;
}

void Show(StmReadResult& result, std::string text) {
    result.notes.push_back({NoteKind::MessageBox, std::move(text)});
}

void MarkInvalid(StmReadResult& result, std::string text) {
    result.listInvalid = true;
    Show(result, std::move(text));
}

} // namespace

StmReadResult ReadStmList(const std::string& listPath, StmList& list) {
    StmReadResult result;
    if (!HasStmExtension(listPath)) {
        MarkInvalid(result, kWrongExtension);
        return result;
    }

    Result<InputFile> file = InputFile::Open(listPath);
    const std::string listName = Printable(FileNamePart(listPath));
    if (!file) {
        MarkInvalid(result, "Failed to open file " + listName + ": " + file.Error());
        return result;
    }

    const std::string folder = DirectoryPart(listPath);
    LineReader lines(file->Handle(), kStmLineLimits);
    std::string line;
    while (result.entryCount < kStmMaxEntries) {
        const LineStatus status = lines.Next(line);
        if (status == LineStatus::EndOfFile) {
            Show(result, kEndOfList);
            break;
        }
        if (status != LineStatus::Line) {
            MarkInvalid(result, "Failed to read file " + listName + ": " + lines.Fault());
            break;
        }
        if (!IsEntryLine(line)) {
            MarkInvalid(result, kInvalidLine);
            continue;
        }
        const std::string name = line.substr(1);
        ListedPath listed = ResolveListedPath(folder, name);
        if (listed.note)
            result.notes.push_back({NoteKind::TraceLine, *listed.note});
        list.paths[result.entryCount] = std::move(listed.path);
        list.names[result.entryCount] = name;
        ++result.entryCount;
    }
    return result;
}

} // namespace marlow::uartloader
