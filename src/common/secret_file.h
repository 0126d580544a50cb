#pragma once
// Credentials come from files, never from settings or command lines, which
// others can read. Such a file must be its owner's alone (no bits for the
// group or others), as ssh and libpq ask; one that others may read is
// refused with the reason and the command that mends it.

#include "common/result.h"

#include <string>

namespace marlow {

// Refused: the file cannot be looked at, is no regular file, or may be read
// by others ("the password file PATH may be read by others (mode 0644);
// make it its owner's alone: chmod 600 PATH").
Status CheckOwnerOnly(const std::string& path);

// The first line of such a file, without its line end; refused as above,
// or when it cannot be read or its first line is empty ("…is empty; put
// `firstLine` on its first line").
Result<std::string> ReadSecretLine(const std::string& path,
                                   const std::string& firstLine = "the password");

} // namespace marlow
