#include "phone/phone_file_check.h"

#include "common/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace marlow::phone {
namespace {

// How the package names each role, for the operator who has to fix it.
const char* RoleMember(PhoneFileRole role) {
    switch (role) {
    case PhoneFileRole::PsiLoader:
        return "a \"+psi.flb\" line";
    case PhoneFileRole::SecondStageLoader:
        return "a \"+slb.flb\" line";
    case PhoneFileRole::Firmware:
        return "a \"+NAME.fls\" line";
    default:
        return "a \"+NAME.eep\" line";
    }
}

// Empty when the file is a regular file this process can read.
std::string FileProblem(const std::string& path) {
    const Result<int> fd = OpenRegularFile(path, O_RDONLY);
    if (!fd)
        return fd.Error();
    ::close(*fd);
    return {};
}

} // namespace

std::vector<std::string> PhoneFileProblems(const PhoneFileSet& files, RolesNeeded needed) {
    std::vector<std::string> problems;
    for (std::size_t index = 0; index < kPhoneRoleCount; ++index) {
        const auto role = static_cast<PhoneFileRole>(index);
        const std::string& path = files[role].path;
        const std::string name = PhoneFileRoleName(role);
        if (path.empty()) {
            if (needed == RolesNeeded::Named)
                continue;
            problems.push_back("The phone package names no " + name + ": add " + RoleMember(role) +
                               ".");
        } else if (const std::string why = FileProblem(path); !why.empty()) {
            problems.push_back("The " + name + " " + path + " cannot be sent: " + why + ".");
        }
    }
    return problems;
}

} // namespace marlow::phone
