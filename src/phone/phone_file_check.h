#pragma once
// The four phone files looked at before the modem is booted: a role the
// package did not fill, or a file that cannot be read whole, would otherwise
// be found only halfway through the download.

#include "phone/phone_files.h"

#include <string>
#include <vector>

namespace marlow::phone {

// One line per role that cannot go to the modem, saying why; empty when all
// four name regular files that can be read.
std::vector<std::string> PhoneFileProblems(const PhoneFileSet& files);

} // namespace marlow::phone
