#pragma once
// The folder browser's fixed texts and where its parts lie, the same in
// every front end: positions and sizes in pixels at 96 dpi, measured from the
// top-left corner of the client area. The texts are English in every
// language, as the platform's own folder browser has them.
#include <string_view>

namespace picrelink::folder_browser {

inline constexpr std::u16string_view kCaption = u"Browse for Folder";
inline constexpr std::u16string_view kLabelText = u"Current Folder";
inline constexpr std::u16string_view kOkText = u"OK";
inline constexpr std::u16string_view kCancelText = u"Cancel";

// The client area when the browser opens, and the smallest outer size (frame
// included) that resizing may leave.
inline constexpr int kClientWidth = 308;
inline constexpr int kClientHeight = 358;
inline constexpr int kMinimumOuterWidth = 250;
inline constexpr int kMinimumOuterHeight = 300;

struct Place {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;  // 0 where the part's font gives its height
};

struct Places {
  Place label;  // at its place; its size fits its text
  Place box;    // the current-folder box; its height follows its font
  Place tree;
  Place ok;
  Place cancel;
};

// The parts in a client area of width × height: the box and the tree widen
// with it, the tree also grows downwards, and the two buttons keep their
// distance from the bottom-right corner. At the opening size the parts lie
// where the design has them.
Places PlaceParts(int width, int height);

}  // namespace picrelink::folder_browser
