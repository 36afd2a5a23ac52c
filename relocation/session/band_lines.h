#pragma once
// The status as the band below the start button shows it: a band has room
// for a few lines of its face, and a line of the status that would wrap or
// fall below the band must not disappear unseen.
#include <functional>
#include <string>
#include <string_view>

namespace picrelink {

struct BandLines {
  // The lines shown, joined by "\n".
  std::u16string text;
  // Whether something of the status was left out: the whole of it is then
  // for the tooltip and the details.
  bool cut = false;
};

// The width in pixels of a line of text in the band's face.
using LineWidth = std::function<int(std::u16string_view)>;

// Each line of status on one line of the band, at most maxLines of them: a
// line wider than width ends in "…" where it is cut, and so does the last
// line shown when more lines follow.
BandLines FitBandLines(std::u16string_view status, int maxLines, int width,
                       const LineWidth& measure);

}  // namespace picrelink
