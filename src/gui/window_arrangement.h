#pragma once
// Where the three message windows go, from the frame's client rectangle:
// File Information top left, Device State under it, Debug Message filling
// the right. Used at start-up, by "Original Position" and on frame resizes.

namespace marlow::gui {

struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Placement&) const = default;
};

struct ClientRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const ClientRect&) const = default;
};

struct MessageLayout {
    Placement fileInformation;
    Placement deviceState;
    Placement debugMessage;
};

// Integer divisions truncate, as the operators' saved screenshots expect.
MessageLayout ArrangeMessageWindows(const ClientRect& client);

} // namespace marlow::gui
