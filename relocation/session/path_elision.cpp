#include "relocation/session/path_elision.h"

#include <vector>

namespace picrelink {

std::u16string ElideLeadingFolders(std::u16string_view path, char16_t separator, int width,
                                   const std::function<int(std::u16string_view)>& measure) {
  if (measure(path) <= width) return std::u16string(path);
  std::vector<std::u16string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = path.find(separator, start);
    parts.push_back(path.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  // A root such as D:\ or / has nothing to drop.
  if (parts.size() < 2 || parts.back().empty()) return std::u16string(path);

  const std::u16string ellipsis = u"...";
  const size_t last = parts.size() - 1;
  // Keep parts[0], drop parts[1..dropped], keep the rest.
  for (size_t dropped = 1; dropped < last; ++dropped) {
    std::u16string candidate = std::u16string(parts.front()) + separator + ellipsis;
    for (size_t i = dropped + 1; i <= last; ++i) candidate += separator + std::u16string(parts[i]);
    if (measure(candidate) <= width) return candidate;
  }
  std::u16string tail = ellipsis + separator + std::u16string(parts[last]);
  if (measure(tail) <= width) return tail;
  return std::u16string(parts[last]);
}

}  // namespace picrelink
