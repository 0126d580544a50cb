#include "uartloader/stm_list.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/path_rules.h"

namespace marlow::uartloader {

namespace {

// The lists are written by hand; nothing sensible is longer than this, and
// a longer line is taken as the garbage it is.
constexpr std::size_t kMaxListLine = 4096;

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

    std::optional<InputFile> file = InputFile::Open(listPath);
    if (!file) {
        MarkInvalid(result, "Failed to open file " + FileNamePart(listPath));
        return result;
    }

    const std::string folder = DirectoryPart(listPath);
    LineReader lines(file->Handle(), kMaxListLine);
    std::string line;
    while (result.entryCount < kStmMaxEntries) {
        const LineStatus status = lines.Next(line);
        if (status == LineStatus::EndOfFile) {
            Show(result, kEndOfList);
            break;
        }
        if (status == LineStatus::ReadError) {
            MarkInvalid(result, "Failed to read file " + FileNamePart(listPath));
            break;
        }
        if (status == LineStatus::TooLong || !IsEntryLine(line)) {
            MarkInvalid(result, kInvalidLine);
            continue;
        }
        const std::string name = line.substr(1);
        list.paths[result.entryCount] = folder + name;
        list.names[result.entryCount] = name;
        ++result.entryCount;
    }
    return result;
}

} // namespace marlow::uartloader
