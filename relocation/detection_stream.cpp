#include "relocation/detection_stream.h"

#include <algorithm>
#include <string_view>

#include "core/cache_line.h"
#include "relocation/detection.h"
#include "relocation/regexpr.h"

namespace picrelink {

FirstReferences FindFirstReferences(const TextSource& source, size_t bufferUnits) {
  const size_t units = std::max<size_t>(bufferUnits, 1);
  std::u16string storage(units + kCacheLineUnits, u'\0');
  char16_t* const buffer = AlignedToCacheLine(storage.data());
  return FindFirstReferences([&]() -> std::u16string_view {
    return {buffer, source(buffer, units)};
  });
}

FirstReferences FindFirstReferences(const PieceSource& nextPiece) {
  TRegExpr pathSearch;
  pathSearch.SetExpression(kPathPattern);
  pathSearch.BeginSearch();
  TRegExpr urlSearch;
  urlSearch.SetExpression(kUrlPattern);
  urlSearch.BeginSearch();

  FirstReferences found;
  bool pathSettled = false;
  bool urlSettled = false;
  for (;;) {
    const std::u16string_view piece = nextPiece();
    if (piece.empty()) break;
    found.hasText = true;
    if (pathSearch.Feed(piece)) {
      pathSettled = true;
      break;
    }
    if (!urlSettled) urlSettled = urlSearch.Feed(piece);
  }
  if (!pathSettled) {
    pathSearch.Feed({}, true);
    urlSearch.Feed({}, true);
  }
  if (pathSearch.Found()) found.path = pathSearch.Substitute(u"$1");
  // A path match always captures its drive, so an empty capture means no
  // match, and then the text has been read to its end for the URL search.
  if (found.path.empty() && urlSearch.Found()) found.url = urlSearch.Substitute(u"$1");
  return found;
}

}  // namespace picrelink
