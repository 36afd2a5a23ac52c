#include "relocation/session/folder_browser_frame.h"

#include <algorithm>

namespace picrelink::folder_browser {
namespace {

constexpr int kMargin = 12;
constexpr int kBoxTop = 24;
constexpr int kTreeTop = 56;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
// From the client area's right and bottom edges to the buttons' left and top.
constexpr int kOkFromRight = kClientWidth - 139;
constexpr int kCancelFromRight = kClientWidth - 219;
constexpr int kButtonsFromBottom = kClientHeight - 323;
// Below the tree, to the client area's bottom edge.
constexpr int kBelowTree = kClientHeight - (kTreeTop + 261);

}  // namespace

Places PlaceParts(int width, int height) {
  Places places;
  const int inner = std::max(0, width - 2 * kMargin);
  places.label = {kMargin, 8, 0, 0};
  places.box = {kMargin, kBoxTop, inner, 0};
  places.tree = {kMargin, kTreeTop, inner, std::max(0, height - kTreeTop - kBelowTree)};
  places.ok = {width - kOkFromRight, height - kButtonsFromBottom, kButtonWidth, kButtonHeight};
  places.cancel = {width - kCancelFromRight, height - kButtonsFromBottom, kButtonWidth,
                   kButtonHeight};
  return places;
}

}  // namespace picrelink::folder_browser
