#include "common/listed_path.h"

#include "common/path_rules.h"
#include "common/printable_text.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace marlow {

namespace {

bool IsMissing(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) != 0 && errno == ENOENT;
}

struct FolderMatches {
    std::string first;
    std::size_t count = 0;
};

// Names in `folder` equal to `name` ignoring letter case; counting stops at
// two, which is already one too many.
FolderMatches MatchesIgnoringCase(const std::string& folder, std::string_view name) {
    FolderMatches matches;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (!EqualsIgnoreCase(entry, name))
            continue;
        if (++matches.count == 1)
            matches.first = entry;
        else
            break;
    }
    return matches;
}

bool IsPlainPart(std::string_view part) {
    return !part.empty() && part != "." && part != "..";
}

} // namespace

ListedPath ResolveListedPath(std::string_view folder, std::string_view name) {
    std::string relative(name);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    ListedPath result{.path = std::string(folder) + relative};
    // A NUL would cut every lookup short; the open refuses such a name.
    if (name.find('\0') != std::string_view::npos)
        return result;

    std::string& path = result.path;
    // Only the parts that come from the name are looked at; the first may
    // carry a tail of the folder when that does not end in "/".
    const std::size_t firstSlash =
        folder.empty() ? std::string::npos : path.rfind('/', folder.size() - 1);
    std::size_t start = firstSlash == std::string::npos ? 0 : firstSlash + 1;
    bool matchedIgnoringCase = false;
    for (;;) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = std::string_view(path).substr(start, end - start);
        if (IsPlainPart(part) && IsMissing(path.substr(0, end))) {
            const std::string parent = start == 0 ? "." : path.substr(0, start);
            const FolderMatches matches = MatchesIgnoringCase(parent, part);
            if (matches.count > 1) {
                result.ambiguity = Printable(name) + ": several names in " + Printable(parent) +
                                   " match \"" + Printable(part) +
                                   "\" ignoring letter case; none is taken";
                result.note = "\n" + *result.ambiguity + "\n";
                return result;
            }
            if (matches.count == 0)
                break; // nothing below a missing part can exist either
            path.replace(start, end - start, matches.first);
            matchedIgnoringCase = true;
        }
        if (end == path.size())
            break;
        start = end + 1;
    }
    if (matchedIgnoringCase)
        result.note = "\n" + Printable(name) + ": not found as written, using " +
                      Printable(path.substr(folder.size())) + " (letter case differs)\n";
    return result;
}

} // namespace marlow
