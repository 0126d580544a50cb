#pragma once
// The eight pictures of the "please wait" animation shown while the handset
// writes its flash: a strip of 340 x 65 frames side by side, drawn by us.

#include <QImage>

namespace marlow::controls {

inline constexpr int kAnimationFrameCount = 8;
inline constexpr int kAnimationFrameWidth = 340;
inline constexpr int kAnimationFrameHeight = 65;

// All eight frames in one 2720 x 65 image, frame n at x = n * 340.
QImage DrawAnimationStrip();

} // namespace marlow::controls
