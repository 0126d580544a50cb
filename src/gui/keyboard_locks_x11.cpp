// The lock states on X11: the keyboard's named XKB indicators, read from the
// display the application already has open.

#include "gui/keyboard_locks.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

// After Qt: Xlib's macros (Bool, Status, None...) would clash with Qt's names.
#include <X11/XKBlib.h>

namespace marlow::gui {

KeyboardLockReader PlatformKeyboardLocks() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return {};
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor))
        return {};
    // Each lock's bit in the indicator state; none when the keyboard has no
    // such indicator.
    const auto bitOf = [display](const char* name) -> unsigned {
        int index = -1;
        const Atom atom = XInternAtom(display, name, False);
        if (!XkbGetNamedIndicator(display, atom, &index, nullptr, nullptr, nullptr) || index < 0)
            return 0;
        return 1u << index;
    };
    const unsigned caps = bitOf("Caps Lock");
    const unsigned num = bitOf("Num Lock");
    const unsigned scroll = bitOf("Scroll Lock");
    return [display, caps, num, scroll] {
        unsigned state = 0;
        XkbGetIndicatorState(display, XkbUseCoreKbd, &state);
        return KeyboardLocks{.caps = (state & caps) != 0,
                             .num = (state & num) != 0,
                             .scroll = (state & scroll) != 0};
    };
}

} // namespace marlow::gui
