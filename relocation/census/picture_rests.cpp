#include "relocation/census/picture_rests.h"

#include <algorithm>

namespace picrelink {

void AppendKey(std::u16string_view relative, std::u16string& key) {
  for (char16_t c : relative) {
    if (c == u'\\' || c == u'/') {
      if (!key.empty() && key.back() != u'/') key += u'/';
    } else {
      key += FoldAscii(c);
    }
  }
  if (!key.empty() && key.back() == u'/') key.pop_back();
}

size_t KeyComponents(std::u16string_view key) {
  return key.empty() ? 0 : 1 + static_cast<size_t>(std::count(key.begin(), key.end(), u'/'));
}

void RestCollector::Take(std::u16string_view value) {
  // Most references' paths are their own units: read where they stand, not
  // copied and decoded. "/" and "\" are alike to the folder test and the key,
  // so a file URL's path needs no turning of "/" into "\" either.
  size_t pathStart = 0;
  bool local = false;
  std::u16string_view path;
  if (RawReferencePath(value, pathStart, local)) {
    path = value.substr(pathStart);
  } else {
    if (!ParseReference(value, parsed_)) return;
    local = (parsed_.spelling & kSpellingLocal) != 0;
    path = parsed_.path;
  }
  if (local) return;
  for (Rests& rests : levels_) {
    if (rests.oldFolder.empty() || !PathBeginsWithFolder(path, rests.oldFolder, true)) continue;
    Count(rests, path.substr(rests.oldFolder.size()));
  }
}

void RestCollector::Count(Rests& rests, std::u16string_view rest) {
  key_.clear();
  AppendKey(rest, key_);
  if (key_.empty()) return;
  ++rests.references;
  auto found = rests.counts.find(key_);
  if (found == rests.counts.end()) {
    const std::u16string& kept = storage_.emplace_back(key_);
    found = rests.counts.emplace(kept, 0).first;
    rests.deepest = std::max(rests.deepest, KeyComponents(kept));
  }
  ++found->second;
}

}  // namespace picrelink
