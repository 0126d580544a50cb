#include "app/gui/window_arrangement.h"

namespace marlow::gui {

MessageLayout ArrangeMessageWindows(const ClientRect& client) {
    const int L = client.left;
    const int T = client.top;
    const int W = client.right;
    const int H = client.bottom;
    const int K = W / 3 + 50;
    MessageLayout layout;
    layout.fileInformation = {L, T, K, H / 2 - 40};
    layout.deviceState = {L, H / 2 - 40, K, H / 2 - 24};
    layout.debugMessage = {K, T, W - K, H - 65};
    return layout;
}

} // namespace marlow::gui
