#pragma once
// Names written inside the tool's files (list entries, phone package
// members, STM list entries) come from Windows PCs, where "\" separates
// folders and letter case does not matter. This is the one place that turns
// such a name into the path to open here.

#include <optional>
#include <string>
#include <string_view>

namespace marlow {

struct ListedPath {
    std::string path;
    // A trace line for the owner to show when the name was found only by
    // ignoring letter case, or could not be because several names match.
    std::optional<std::string> note = {};
    // Set when several names match: why the path opens nothing, for a check
    // to report in place of the open's "No such file or directory".
    std::optional<std::string> ambiguity = {};
};

// `folder` is the listing file's folder as given (up to and including its
// last separator; empty for the current folder), `name` the text the file
// holds. The path is folder + name with every "\" of the name turned into
// "/". Where a part of the name does not exist as written and exactly one
// name in its folder matches it ignoring letter case, that name is used.
ListedPath ResolveListedPath(std::string_view folder, std::string_view name);

} // namespace marlow
