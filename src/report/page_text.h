#pragma once
// Text for the report's page: record texts made safe for HTML, and numbers
// written the same way whatever the user's locale (a decimal comma would
// break an SVG coordinate).

#include <cstdint>
#include <string>
#include <string_view>

namespace marlow::report {

// `text` as HTML text or attribute value: & < > " ' as references, and a
// control byte as its visible escape ("\x1B"), as every shown text has.
std::string Html(std::string_view text);

// `value` with `decimals` digits after the point: "12.5".
std::string Fixed(double value, int decimals = 1);

// "87.5%", "-" when there is nothing to divide.
std::string Percent(int part, int whole);

// A duration: "42.3 s" under a minute, "12:03.4" above.
std::string Duration(double ms);

// Names as a person orders them: "slot 2" before "slot 10".
bool NaturalLess(std::string_view a, std::string_view b);

} // namespace marlow::report
