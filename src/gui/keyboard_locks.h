#pragma once
// The keyboard's lock states for the status bar's CAP, NUM and SCRL panes.
// Only the window system knows them, and not every one tells: the reader is
// empty where it cannot (the offscreen platform, Wayland), and the panes are
// then left out rather than shown dead. One thin file per platform
// implements `PlatformKeyboardLocks`.

#include <functional>

namespace marlow::gui {

struct KeyboardLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

using KeyboardLockReader = std::function<KeyboardLocks()>;

// Needs the application object; empty where the platform cannot tell.
KeyboardLockReader PlatformKeyboardLocks();

} // namespace marlow::gui
