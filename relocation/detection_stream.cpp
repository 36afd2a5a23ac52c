#include "relocation/detection_stream.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "relocation/detection.h"
#include "relocation/regexpr.h"

namespace picrelink {
namespace {

constexpr size_t kLineBytes = 64;
constexpr size_t kLineUnits = kLineBytes / sizeof(char16_t);

char16_t* AlignedToLine(char16_t* units) {
  const auto address = reinterpret_cast<uintptr_t>(units);
  const uintptr_t misalignment = address % kLineBytes;
  return misalignment == 0 ? units : units + (kLineBytes - misalignment) / sizeof(char16_t);
}

}  // namespace

FirstReferences FindFirstReferences(const TextSource& source, size_t bufferUnits) {
  TRegExpr pathSearch;
  pathSearch.SetExpression(kPathPattern);
  pathSearch.BeginSearch();
  TRegExpr urlSearch;
  urlSearch.SetExpression(kUrlPattern);
  urlSearch.BeginSearch();

  FirstReferences found;
  // The system copies into a buffer that begins on a cache line several
  // times faster than into one that begins just past it (as a large block
  // from the heap does).
  const size_t units = std::max<size_t>(bufferUnits, 1);
  std::u16string storage(units + kLineUnits, u'\0');
  char16_t* const buffer = AlignedToLine(storage.data());
  bool pathSettled = false;
  bool urlSettled = false;
  for (;;) {
    const size_t count = source(buffer, units);
    if (count == 0) break;
    found.hasText = true;
    const std::u16string_view piece(buffer, count);
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
