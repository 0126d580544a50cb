#pragma once
// The check every top-level window gets: each control a user can reach has
// an accessible name of its own, the way a screen reader or a test robot on
// the accessibility bus finds it.

#include <QWidget>
#include <string>
#include <vector>

namespace marlow::test {

// One line per control of `window` (itself included) that has no accessible
// name, or whose name another control of the window also has. Buttons are
// named by their text unless given a name; every other control needs one of
// its own (a list named by its current entry does not count).
std::vector<std::string> AccessibleNameProblems(const QWidget& window);

} // namespace marlow::test
