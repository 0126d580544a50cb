#pragma once
// Marlow's own icon, drawn in code: a handset with an arrow down into it on
// a blue tile. The program sets it for every window it opens (the toolkit's
// logo otherwise sits in every title bar and taskbar entry).

#include <QIcon>

namespace marlow::controls {

// The icon at the sizes title bars and task bars use; needs the application
// object.
QIcon MarlowIcon();

} // namespace marlow::controls
