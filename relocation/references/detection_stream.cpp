#include "relocation/references/detection_stream.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/cache_line.h"
#include "relocation/references/reference_scan.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink {

size_t FirstReferences::Form() const {
  for (size_t form = 0; form < kFormCount; ++form) {
    if (!first[form].empty()) return form;
  }
  return kFormCount;
}

size_t FirstReferences::LocalForm() const {
  for (size_t form = 0; form < kFormCount; ++form) {
    if (!local[form].empty()) return form;
  }
  return kFormCount;
}

FirstReferences FindFirstReferences(const TextSource& source, size_t bufferUnits) {
  const size_t units = std::max<size_t>(bufferUnits, 1);
  std::u16string storage(units + kCacheLineUnits, u'\0');
  char16_t* const buffer = AlignedToCacheLine(storage.data());
  return FindFirstReferences([&]() -> std::u16string_view {
    return {buffer, source(buffer, units)};
  });
}

FirstReferences FindFirstReferences(const PieceSource& nextPiece) {
  FirstReferences found;
  // One search per form, each stopping at its first match.
  std::array<std::optional<ReferenceScanner>, kFormCount> searches;
  for (size_t form = 0; form < kFormCount; ++form) {
    searches[form].emplace(
        [form](std::u16string_view head) {
          return FitsForm(kReferenceForms[form], head) ? 0 : kNotAReference;
        },
        [&found, form](const FoundReference& reference) {
          found.first[form] = reference.value;
          return true;
        });
  }

  // The local folders a run here wrote, searched alongside: they count only
  // when no form matches anywhere, so their searches read as far as the
  // others do.
  std::array<std::optional<ReferenceScanner>, kFormCount> localSearches;
  if (LocalFoldersHere()) {
    for (size_t form = 0; form < kFormCount; ++form) {
      localSearches[form].emplace(
          [form](std::u16string_view head) {
            return ClassifyLocalHead(head) == static_cast<int>(form) ? 0 : kNotAReference;
          },
          [&found, form](const FoundReference& reference) {
            found.local[form] = reference.value;
            return true;
          });
    }
  }
  const auto localSettled = [&](size_t form) {
    for (size_t earlier = 0; earlier <= form; ++earlier) {
      if (localSearches[earlier]->Stopped()) return true;
    }
    return false;
  };

  // Whether a form's result is settled: it matched, or an earlier form did
  // (which makes it count for nothing).
  const auto settled = [&](size_t form) {
    for (size_t earlier = 0; earlier <= form; ++earlier) {
      if (searches[earlier]->Stopped()) return true;
    }
    return false;
  };
  for (;;) {
    if (settled(0)) break;
    const std::u16string_view piece = nextPiece();
    if (piece.empty()) break;
    found.hasText = true;
    for (size_t form = 0; form < kFormCount; ++form) {
      if (!settled(form)) searches[form]->Feed(piece);
    }
    if (found.Form() == kFormCount && LocalFoldersHere()) {
      for (size_t form = 0; form < kFormCount; ++form) {
        if (!localSettled(form)) localSearches[form]->Feed(piece);
      }
    }
  }
  // Only the first match of the earliest form that matched counts.
  const size_t taken = found.Form();
  for (size_t form = taken + 1; form < kFormCount; ++form) found.first[form].clear();
  const size_t localTaken = found.LocalForm();
  for (size_t form = 0; form < kFormCount; ++form) {
    if (taken < kFormCount || form > localTaken) found.local[form].clear();
  }
  return found;
}

}  // namespace picrelink
