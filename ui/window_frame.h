#pragma once
// Top-level window placement. Window sizes here are outer sizes, frame
// included. Where the window system draws a frame, its size is known only
// once the window is on screen, so a window first takes the outer size as its
// client size (exact where there is no frame, as on a bare X server or the
// offscreen platform) and is shrunk by the frame as soon as one appears.
#include <QSize>
#include <functional>

class QWidget;

namespace picrelink::ui {

// Moves the window so that a window of outerSize is centred on its screen.
void CentreOnScreen(QWidget* window, QSize outerSize);

// Calls onFrame once, with the frame's extra width and height, the first time
// the shown window has a frame. Nothing happens where no frame ever appears.
void WhenFrameKnown(QWidget* window, std::function<void(QSize frame)> onFrame);

}  // namespace picrelink::ui
