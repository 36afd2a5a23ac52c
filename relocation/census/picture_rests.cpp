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
  for (size_t level = 0; level < levels_.size(); ++level) {
    Rests& rests = levels_[level];
    if (rests.oldFolder.empty() || !BeginsWithFolder(level, path)) continue;
    Count(rests, path.substr(rests.oldFolder.size()));
  }
}

bool RestCollector::BeginsWithFolder(size_t level, std::u16string_view path) {
  const auto isSeparator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  const std::u16string_view folder = levels_[level].oldFolder;
  // The units compared: the folder without a separator at its end (but for
  // a folder of one unit), as PathBeginsWithFolder compares them.
  const size_t compared =
      folder.size() > 1 && isSeparator(folder.back()) ? folder.size() - 1 : folder.size();
  // Most paths under another folder differ from it in their first unit,
  // their drive's letter (the path of a reference that is no local folder
  // begins with one, so no separator needs to be taken for another here).
  // An empty path begins with no folder (the readers give none, but the
  // first unit is read only where there is one).
  if (path.empty() || FoldAscii(path[0]) != FoldAscii(folder[0])) return false;
  Spellings& spellings = spellings_[level];
  for (const std::u16string& spelled : spellings.spelled) {
    if (spelled.empty() || !BeginsWithSmall(path, spelled)) continue;
    const char16_t last = folder[compared - 1];
    return path.size() == compared || isSeparator(path[compared]) || isSeparator(last) ||
           last == u':';
  }
  if (!PathBeginsWithFolder(path, folder, true)) return false;
  std::u16string& spelled = spellings.spelled[spellings.next];
  spelled.assign(path.substr(0, compared));
  for (char16_t& c : spelled) c = FoldAscii(c);
  spellings.next ^= 1;
  return true;
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
