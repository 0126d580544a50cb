// A build without the X11 client library: no platform that it serves tells
// the lock states.

#include "gui/keyboard_locks.h"

namespace marlow::gui {

KeyboardLockReader PlatformKeyboardLocks() {
    return {};
}

} // namespace marlow::gui
