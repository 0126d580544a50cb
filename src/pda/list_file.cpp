#include "pda/list_file.h"

#include "common/input_file.h"
#include "common/listed_path.h"
#include "common/path_rules.h"
#include "common/printable_text.h"

namespace marlow::pda {

namespace {

constexpr std::size_t kPhoneGroupSize = 4;

// The rules are tried in this order, so "-x.bin" is an image entry.
bool IsImageEntry(std::string_view line) {
    return EndsWithIgnoreCase(line, ".bin");
}

bool IsPhoneGroupStart(std::string_view line) {
    return !line.empty() && line.front() == '-';
}

ListedPath Resolve(std::string_view listDirectory, std::string_view name, Notes& notes) {
    ListedPath listed = ResolveListedPath(listDirectory, name);
    if (listed.note)
        notes.push_back({NoteKind::TraceLine, *listed.note});
    return listed;
}

} // namespace

ListLine ClassifyListLine(std::string_view line) {
    if (IsImageEntry(line)) {
        if (line.front() == '+')
            line.remove_prefix(1);
        return {ListLineKind::ImageEntry, std::string(line)};
    }
    if (IsPhoneGroupStart(line))
        return {ListLineKind::PhoneGroupStart, std::string(line.substr(1))};
    return {ListLineKind::EndOfList, {}};
}

std::uint8_t ListKindOf(std::string_view downloadPath) {
    const std::string name = FileNamePart(downloadPath);
    if (name == "quill_all.lst")
        return 2;
    if (name == "quill.lst")
        return 1;
    if (EndsWithIgnoreCase(name, ".bin"))
        return 0;
    return 255;
}

int ListCounterTotal(std::uint8_t listKind) {
    switch (listKind) {
    case 2:
        return 7;
    case 1:
        return 6;
    default:
        return 0;
    }
}

PhoneGroup ReadPhoneGroup(LineReader& lines, std::string_view firstName,
                          std::string_view listDirectory) {
    PhoneGroup group;
    std::string name(firstName);
    for (;;) {
        ListedPath listed = Resolve(listDirectory, name, group.notes);
        std::string& path = listed.path;
        if (!phone::FitsPhonePath(path)) {
            group.read =
                Failure{"line " + std::to_string(lines.LineNumber()) + ": phone file path is " +
                        std::to_string(path.size()) + " characters long, at most " +
                        std::to_string(phone::kMaxPhonePath) + " fit"};
            return group;
        }
        const phone::PhoneFileRole role = phone::ClassifyPhoneFile(name);
        group.files.push_back(
            {std::move(name), std::move(path), role, std::move(listed.ambiguity)});
        if (group.files.size() == kPhoneGroupSize)
            return group;

        name.clear();
        const LineStatus status = lines.Next(name);
        if (status == LineStatus::EndOfFile)
            return group;
        if (status != LineStatus::Line) {
            group.read = Failure{lines.Fault()};
            return group;
        }
    }
}

ListContents ReadListFile(const std::string& listPath) {
    ListContents contents;
    Result<InputFile> file = InputFile::Open(listPath);
    if (!file) {
        contents.read =
            Failure{"cannot open list file " + Printable(listPath) + ": " + file.Error()};
        return contents;
    }
    const std::string listDirectory = DirectoryPart(listPath);
    LineReader lines(file->Handle(), kListLineLimits);
    std::string line;
    for (;;) {
        const LineStatus status = lines.Next(line);
        if (status == LineStatus::EndOfFile)
            return contents;
        if (status != LineStatus::Line) {
            contents.read = Failure{Printable(listPath) + ": " + lines.Fault()};
            return contents;
        }
        ListLine classified = ClassifyListLine(line);
        switch (classified.kind) {
        case ListLineKind::ImageEntry: {
            ListedPath listed = Resolve(listDirectory, classified.text, contents.notes);
            contents.entries.push_back(
                {std::move(classified.text), std::move(listed.path), std::move(listed.ambiguity)});
            break;
        }
        case ListLineKind::PhoneGroupStart: {
            contents.hasPhoneGroup = true;
            PhoneGroup group = ReadPhoneGroup(lines, classified.text, listDirectory);
            contents.phoneGroup = std::move(group.files);
            contents.notes.insert(contents.notes.end(), group.notes.begin(), group.notes.end());
            if (!group.read)
                contents.read = Failure{Printable(listPath) + ": " + group.read.Error()};
            return contents;
        }
        case ListLineKind::EndOfList:
            return contents;
        }
    }
}

std::string NothingListedText(const std::string& listPath) {
    return Printable(listPath) +
           " names no image: its first line must be an image name ending in \".bin\" (or "
           "\"-\" and the first phone file)";
}

} // namespace marlow::pda
