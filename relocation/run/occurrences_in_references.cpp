#include "relocation/run/occurrences_in_references.h"

#include <algorithm>

#include "core/find_unit.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/run/folder_verdicts.h"

namespace picrelink {

// Candidates for the first unit are found eight units at a time, in both
// cases of a letter.
int64_t CountFolded(std::u16string_view text, std::u16string_view find) {
  if (find.empty() || text.size() < find.size()) return 0;
  const char16_t lower = FoldAscii(find[0]);
  const char16_t upper = lower >= u'a' && lower <= u'z' ? static_cast<char16_t>(lower - 32) : lower;
  const size_t end = text.size() - find.size() + 1;  // candidates lie before it
  int64_t count = 0;
  size_t at = 0;
  while (at < end) {
    size_t candidate = FindUnit(text.data(), end, lower, at);
    if (upper != lower)
      candidate = std::min(candidate, FindUnit(text.data(), candidate, upper, at));
    if (candidate == end) break;
    size_t k = 1;
    while (k < find.size() && FoldAscii(text[candidate + k]) == FoldAscii(find[k])) ++k;
    if (k == find.size()) {
      ++count;
      at = candidate + find.size();
    } else {
      at = candidate + 1;
    }
  }
  return count;
}

OccurrencesInReferences::OccurrencesInReferences(const std::array<FormTexts, kFormCount>& texts,
                                                 const std::vector<FirstOfReplacer::Pattern>* sweep,
                                                 bool rememberFolders)
    : texts_(texts), sweep_(sweep), scanner_(EveryValue{}, CountFound{this}) {
  rememberFolders_ = rememberFolders && sweep_ == nullptr;
  for (const FormTexts& form : texts_) {
    if (form.find.find_first_of(u"\\/") == std::u16string::npos) rememberFolders_ = false;
  }
}

int64_t OccurrencesInReferences::Count(std::u16string_view value) {
  if (sweep_ != nullptr) return CountSwept(value);
  size_t nameStart = 0;
  if (!rememberFolders_ || !FolderVerdicts::SplitName(value, nameStart)) return CountEach(value);
  const std::u16string_view folderPart = value.substr(0, nameStart);
  // The count ignores ASCII case, and so does what is remembered for it:
  // the folder parts are kept with their letters small.
  const auto holds = [folderPart](const Remembered& r) {
    return r.folderPart.size() == folderPart.size() && BeginsWithSmall(folderPart, r.folderPart);
  };
  if (holds(remembered_[last_])) return remembered_[last_].count;
  for (size_t k = 0; k < remembered_.size(); ++k) {
    if (holds(remembered_[k])) {
      last_ = k;
      return remembered_[k].count;
    }
  }
  const int64_t count = CountEach(value);
  if (!MayGoOnBehind(folderPart)) {
    last_ = next_;
    next_ = (next_ + 1) % remembered_.size();
    std::u16string& kept = remembered_[last_].folderPart;
    kept.assign(folderPart);
    for (char16_t& c : kept) c = FoldAscii(c);
    remembered_[last_].count = count;
  }
  return count;
}

int64_t OccurrencesInReferences::CountEach(std::u16string_view value) const {
  int64_t count = 0;
  for (const FormTexts& form : texts_) count += CountFolded(value, form.find);
  return count;
}

bool OccurrencesInReferences::MayGoOnBehind(std::u16string_view folderPart) const {
  // Such an occurrence begins with an end of the folder part.
  for (const FormTexts& form : texts_) {
    const size_t longest = std::min(form.find.size() - 1, folderPart.size());
    for (size_t k = 1; k <= longest; ++k) {
      if (BeginsFolded(folderPart.substr(folderPart.size() - k),
                       std::u16string_view(form.find).substr(0, k))) {
        return true;
      }
    }
  }
  return false;
}

int64_t OccurrencesInReferences::CountSwept(std::u16string_view value) const {
  struct Discard : TextSink {
    void Append(const char16_t*, size_t) override {}
  } discard;
  FirstOfReplacer counter(*sweep_, discard, value.size());
  counter.Append(value.data(), value.size());
  counter.Finish();
  int64_t count = 0;
  for (const int64_t n : counter.Occurrences()) count += n;
  return count;
}

}  // namespace picrelink
