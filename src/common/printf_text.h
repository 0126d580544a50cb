#pragma once
// printf-style formatting into a std::string, for the historic texts whose
// exact layout ("%08X", "%d%%") is part of what the operator sees.

#include <string>

namespace marlow {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace marlow
