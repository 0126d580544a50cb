#pragma once
// Phone package manifests (".brx"): up to four "+name" lines naming the
// phone files that lie beside the package. Reading one fills the owner's
// PhoneFileSet; it never copies or extracts anything.

#include "common/notes.h"
#include "phone/phone_files.h"

#include <string>

namespace marlow::phone {

enum class PackageOutcome {
    Missing,        // the package cannot be opened; owners show their own texts
    WrongExtension, // not "*.brx"
    PathTooLong,    // a member's path would not fit a role; the load is refused
    Unreadable,     // a line too long, too many lines or a read error; refused
    Loaded,         // read, however many roles it filled
};

struct PackageLoadResult {
    PackageOutcome outcome = PackageOutcome::Missing;
    // True once the package was found: the front panel disables its
    // controls at that point, whatever happens next.
    bool existenceChecked = false;
    // Why a Missing package did not open ("No such file or directory", "is
    // not a regular file (a named pipe)" ...); the owners' own texts do not
    // say it, a command does.
    std::string reason;
    // In file order: message boxes for the operator, and the lines the main
    // window writes to its Device State window (the front panel ignores those).
    Notes notes;
    bool Succeeded() const { return outcome == PackageOutcome::Loaded; }
};

// Step one clears the four display names; paths of roles the package does
// not name keep their earlier value. Roles filled before a refused member
// stand, as they do for a package with fewer than four members.
PackageLoadResult LoadPhonePackage(const std::string& packagePath, PhoneFileSet& files);

} // namespace marlow::phone
