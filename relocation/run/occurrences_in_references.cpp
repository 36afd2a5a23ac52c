#include "relocation/run/occurrences_in_references.h"

#include <algorithm>
#include <bit>

#include "core/find_unit.h"
#include "relocation/references/reference_spelling.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PICRELINK_COUNT_SSE2 1
#endif

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

namespace {

// Where the name begins in value: behind its last separator; 0 when it has
// none. Most names are short: the last eight units hold the separator.
size_t NameStart(std::u16string_view value) {
  size_t i = value.size();
#ifdef PICRELINK_COUNT_SSE2
  if (i >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value.data() + i - 8));
    const unsigned separators = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\\')),
                                       _mm_cmpeq_epi16(units, _mm_set1_epi16(u'/')))));
    // Two mask bits per unit: the last separator's unit is the highest.
    if (separators != 0)
      return i - 8 + static_cast<size_t>(31 - std::countl_zero(separators)) / 2 + 1;
    i -= 8;
  }
#endif
  for (; i > 0; --i) {
    if (value[i - 1] == u'\\' || value[i - 1] == u'/') return i;
  }
  return 0;
}

// Whether the first folded.size() units of value are folded, once the
// letters are folded: letters holds 0x20 where folded holds a letter, so
// that nothing else is folded.
bool SameFolded(const char16_t* value, const std::u16string& folded,
                const std::u16string& letters) {
  const size_t n = folded.size();
#ifdef PICRELINK_COUNT_SSE2
  if (n >= 8) {
    const auto same = [&](size_t i) {
      const auto at = [i](const char16_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      };
      return _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(at(value), at(letters.data())),
                                               at(folded.data()))) == 0xFFFF;
    };
    // Eight units at a time, the last eight overlapping the block before.
    for (size_t i = 0; i + 8 < n; i += 8) {
      if (!same(i)) return false;
    }
    return same(n - 8);
  }
#endif
  for (size_t i = 0; i < n; ++i) {
    if ((value[i] | letters[i]) != folded[i]) return false;
  }
  return true;
}

}  // namespace

void OccurrencesInReferences::Feed(std::u16string_view piece) { scanner_.Feed(piece); }

int64_t OccurrencesInReferences::Count(std::u16string_view value) {
  if (sweep_ != nullptr) return CountSwept(value);
  if (!rememberFolders_) return CountEach(value);
  const size_t nameStart = NameStart(value);
  if (nameStart == 0) return CountEach(value);
  // Most references name one of a few folders: each folder part has its
  // place, told by its length and the (folded) unit before its last
  // separator, so that one comparison finds it.
  const size_t place =
      (nameStart * 7 + FoldAscii(value[nameStart >= 2 ? nameStart - 2 : 0])) % remembered_.size();
  const Remembered& kept = remembered_[place];
  if (kept.folded.size() == nameStart && SameFolded(value.data(), kept.folded, kept.letters)) {
    return kept.count;
  }
  return CountAndRemember(value, nameStart, place);
}

int64_t OccurrencesInReferences::CountAndRemember(std::u16string_view value, size_t nameStart,
                                                  size_t place) {
  const std::u16string_view folderPart = value.substr(0, nameStart);
  const int64_t count = CountEach(value);
  if (!MayGoOnBehind(folderPart)) {
    Remembered& kept = remembered_[place];
    kept.folded.assign(folderPart);
    kept.letters.assign(folderPart.size(), 0);
    for (size_t i = 0; i < folderPart.size(); ++i) {
      kept.folded[i] = FoldAscii(folderPart[i]);
      if (kept.folded[i] >= u'a' && kept.folded[i] <= u'z') kept.letters[i] = 0x20;
    }
    kept.count = count;
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
