#pragma once
// Where the band below the start button lies in every window, in pixels at
// 96 dpi of the client area, and how its progress bar counts.
#include <algorithm>
#include <cmath>

namespace picrelink::status_band {

// The band runs from the start button's left edge to the path edits' right
// edge, below the start button; its buttons sit at its right end.
inline constexpr int kTop = 274;
inline constexpr int kLeft = 20;
inline constexpr int kRight = 774;
inline constexpr int kButtonWidth = 88;
inline constexpr int kButtonHeight = 23;
// Between the text and the buttons.
inline constexpr int kGap = 10;
// The offer of another folder sits left of the details button; while it is
// shown the text ends before it.
inline constexpr int kOfferLeft = kRight - 2 * kButtonWidth - kGap;

// The progress bar's steps: a share read of 0 to 1 in thousandths, so that
// its tenth is the percentage shown.
inline constexpr int kProgressSteps = 1000;
inline int ProgressSteps(double share) {
  return static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * kProgressSteps));
}

}  // namespace picrelink::status_band
