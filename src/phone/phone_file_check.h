#pragma once
// The four phone files looked at before the modem is booted: a role the
// package did not fill, or a file that cannot be read whole, would otherwise
// be found only halfway through the download.

#include "phone/phone_files.h"

#include <string>
#include <vector>

namespace marlow::phone {

enum class RolesNeeded {
    All,   // a phone download of the package alone
    Named, // a Total run's: the PDA list's phone group may fill the others
};

// One line per role that cannot go to the modem, saying why; empty when all
// four (or all the package names) are regular files that can be read.
std::vector<std::string> PhoneFileProblems(const PhoneFileSet& files,
                                           RolesNeeded needed = RolesNeeded::All);

} // namespace marlow::phone
