#include "gui/window_arrangement.h"

namespace marlow::gui {

MessageLayout ArrangeMessageWindows(const ClientRect& client) {
    const int left = client.left;
    const int top = client.top;
    const int right = client.right;
    const int bottom = client.bottom;
    // The Device State and File Information windows take the left third and
    // a little more; the Debug Message window the rest.
    const int split = right / 3 + 50;
    MessageLayout layout;
    layout.fileInformation = {left, top, split, bottom / 2 - 40};
    layout.deviceState = {left, bottom / 2 - 40, split, bottom / 2 - 24};
    layout.debugMessage = {split, top, right - split, bottom - 65};
    return layout;
}

} // namespace marlow::gui
