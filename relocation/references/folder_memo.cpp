#include "relocation/references/folder_memo.h"

#include "relocation/references/reference_forms.h"

namespace picrelink {
namespace {

bool IsSeparatorUnit(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

void FolderMemo::Remember(std::u16string_view value, const ParsedReference& parsed,
                          size_t folderLength, bool oneHigher) {
  valid_ = false;
  const size_t end = parsed.pathStart + folderLength;
  // The prefix must read as written (no escape before the folder's end), hold
  // at least the head that decides the value's shape, and be followed by a
  // separator written as such, so that the folder rule stops right there for
  // every rest of the shape that Matches accepts.
  if (folderLength < 3 || end >= value.size() || !IsSeparatorUnit(value[end])) return;
  if (parsed.path.size() <= folderLength || !IsSeparatorUnit(parsed.path[folderLength])) return;
  // The rule kept the unit before the separator out of the folder only when
  // it is no separator itself; otherwise the next path would end elsewhere.
  const char16_t last = parsed.path[folderLength - 1];
  if (IsSeparatorUnit(last) || last == u':') return;
  const std::u16string_view prefix = value.substr(0, end);
  if (prefix.find(u'%') != std::u16string_view::npos) return;
  if (prefix.find(u'&') != std::u16string_view::npos) return;
  local_ = (parsed.spelling & kSpellingLocal) != 0;
  urlPath_ = parsed.form == kUrlForm && !local_;
  // A path of a drive separates with "\" only: a "/" is part of a name.
  if (!local_ && !urlPath_ && value[end] != u'\\') return;
  form_ = parsed.form;
  spelling_ = parsed.spelling & ~static_cast<unsigned>(kSpellingEncoded | kSpellingBackslash);
  if (urlPath_ && prefix.substr(parsed.pathStart).find(u'\\') != std::u16string_view::npos) {
    spelling_ |= kSpellingBackslash;
  }
  prefix_.assign(prefix);
  // A drive's folders are one folder in any ASCII letter case, as the run and
  // the census take them; a local folder is named exactly.
  if (!local_) {
    for (char16_t& c : prefix_) c = FoldAscii(c);
  }
  separators_ = oneHigher ? 1 : 0;
  valid_ = true;
}

bool FolderMemo::Matches(std::u16string_view value, size_t& form, unsigned& spelling) const {
  if (!valid_) return false;
  const size_t end = prefix_.size();
  if (value.size() <= end + 1) return false;
  if (!BeginsWithSmall(value, prefix_, !local_)) return false;
  // The rest: a separator, then non-empty components, separators_ more
  // separators between them, nothing that decoding could turn into one.
  bool backslash = value[end] == u'\\';
  if (!local_ && !urlPath_ && !backslash) return false;
  int separators = 0;
  bool componentEmpty = true;
  for (size_t i = end + 1; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c == u'\\' || (c == u'/' && (local_ || urlPath_))) {
      if (componentEmpty || ++separators > separators_) return false;
      backslash |= c == u'\\';
      componentEmpty = true;
      continue;
    }
    if (c == u'%' || c == u':' || c == u'&') return false;
    componentEmpty = false;
  }
  if (componentEmpty || separators != separators_) return false;
  form = form_;
  spelling = spelling_ | (urlPath_ && backslash ? static_cast<unsigned>(kSpellingBackslash) : 0u);
  return true;
}

}  // namespace picrelink
