#include "relocation/session/band_lines.h"

#include <algorithm>
#include <vector>

namespace picrelink {
namespace {

constexpr std::u16string_view kEllipsis = u"…";

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

std::vector<std::u16string_view> LinesOf(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  for (;;) {
    const size_t end = text.find(u'\n');
    lines.push_back(text.substr(0, end));
    if (end == std::u16string_view::npos) return lines;
    text.remove_prefix(end + 1);
  }
}

// The longest start of line that fits in width with the ellipsis behind it,
// whole characters only, without the blanks before the ellipsis.
std::u16string CutToFit(std::u16string_view line, int width, const LineWidth& measure) {
  const auto cut = [&](size_t length) {
    if (length > 0 && length < line.size() && IsHighSurrogate(line[length - 1])) --length;
    std::u16string start(line.substr(0, length));
    while (!start.empty() && (start.back() == u' ' || start.back() == u'\u3000')) start.pop_back();
    return start + std::u16string(kEllipsis);
  };
  // The widths grow with the length: the longest start that fits is found by
  // halving.
  size_t fits = 0;
  size_t tooLong = line.size() + 1;
  while (tooLong - fits > 1) {
    const size_t middle = fits + (tooLong - fits) / 2;
    if (measure(cut(middle)) <= width) {
      fits = middle;
    } else {
      tooLong = middle;
    }
  }
  return cut(fits);
}

}  // namespace

BandLines FitBandLines(std::u16string_view status, int maxLines, int width,
                       const LineWidth& measure) {
  BandLines fitted;
  if (status.empty()) return fitted;
  const std::vector<std::u16string_view> lines = LinesOf(status);
  const size_t shown = std::min(lines.size(), static_cast<size_t>(std::max(maxLines, 1)));
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) fitted.text += u'\n';
    const bool more = i + 1 == shown && shown < lines.size();
    if (!more && measure(lines[i]) <= width) {
      fitted.text += lines[i];
      continue;
    }
    // The last line shown before others ends in the ellipsis, whole or cut.
    const std::u16string whole = std::u16string(lines[i]) + std::u16string(kEllipsis);
    fitted.text += more && measure(whole) <= width ? whole : CutToFit(lines[i], width, measure);
    fitted.cut = true;
  }
  return fitted;
}

}  // namespace picrelink
