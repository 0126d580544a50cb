#include "phone/phone_package.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/listed_path.h"
#include "common/path_rules.h"
#include "common/printable_text.h"

namespace marlow::phone {

namespace {

constexpr std::size_t kMembersPerPackage = 4;
// A member line is "+" and a name whose path fits a role; a package is four
// of them and perhaps a few comments.
constexpr LineLimits kPackageLineLimits{1 + kMaxPhonePath, 256};

const char* LoadedTraceLine(PhoneFileRole role) {
    switch (role) {
    case PhoneFileRole::PsiLoader:
        return "\n psi.flb File Loading OK!!\n";
    case PhoneFileRole::SecondStageLoader:
        return "\n slb.flb File Loading OK!!\n";
    case PhoneFileRole::Firmware:
        return "\n *.flb File Loading OK!!\n";
    case PhoneFileRole::Eeprom:
        return "\n *.eep File Loading OK!! \n";
    case PhoneFileRole::None:
        break;
    }
    return "\n No Match File Error!! \n";
}

std::string PathTooLongText(std::string_view member, std::size_t pathLength) {
    return "Phone file " + Printable(LastChars(member, 60)) + ": its path is " +
           std::to_string(pathLength) + " characters long, at most " +
           std::to_string(kMaxPhonePath) + " are allowed";
}

} // namespace

PackageLoadResult LoadPhonePackage(const std::string& packagePath, PhoneFileSet& files) {
    PackageLoadResult result;
    files.ClearDisplayNames();

    if (const Result<InputFile> exists = InputFile::Open(packagePath); !exists) {
        result.reason = exists.Error();
        return result;
    }
    result.existenceChecked = true;

    if (ToLowerAscii(LastChars(packagePath, 4)) != ".brx") {
        result.outcome = PackageOutcome::WrongExtension;
        result.notes.push_back({NoteKind::MessageBox, "Please Open the *.brx File"});
        return result;
    }

    // It was there a moment ago; if it has gone since, it is missing now.
    Result<InputFile> file = InputFile::Open(packagePath);
    if (!file) {
        result.reason = file.Error();
        return result;
    }

    const std::string packageDirectory = DirectoryPart(packagePath);
    LineReader lines(file->Handle(), kPackageLineLimits);
    std::string line;
    for (std::size_t members = 0; members < kMembersPerPackage;) {
        const LineStatus status = lines.Next(line);
        if (status == LineStatus::EndOfFile) {
            result.notes.push_back({NoteKind::MessageBox, "End: File decoding  *.brx File"});
            break;
        }
        if (status != LineStatus::Line) {
            result.outcome = PackageOutcome::Unreadable;
            result.notes.push_back({NoteKind::MessageBox,
                                    Printable(FileNamePart(packagePath)) + ": " + lines.Fault()});
            return result;
        }
        if (line.empty() || line.front() != '+') {
            result.notes.push_back({NoteKind::MessageBox, "Error : Invalid  *.brx File"});
            continue;
        }
        const std::string member = line.substr(1);
        ListedPath listed = ResolveListedPath(packageDirectory, member);
        std::string& path = listed.path;
        if (!FitsPhonePath(path)) {
            result.outcome = PackageOutcome::PathTooLong;
            result.notes.push_back({NoteKind::MessageBox, PathTooLongText(member, path.size())});
            return result;
        }
        if (listed.note)
            result.notes.push_back({NoteKind::TraceLine, *listed.note});
        const PhoneFileRole role = ClassifyPhoneFile(member);
        files.Assign(role, member, std::move(path));
        result.notes.push_back({NoteKind::TraceLine, LoadedTraceLine(role)});
        ++members;
    }
    result.outcome = PackageOutcome::Loaded;
    return result;
}

} // namespace marlow::phone
