#include "relocation/references/folder_memo.h"

#include <algorithm>

#include "relocation/references/reference_forms.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PICRELINK_MEMO_SSE2 1
#endif

namespace picrelink {
namespace {

bool IsSeparatorUnit(char16_t c) { return c == u'\\' || c == u'/'; }

// What Matches needs to know of a value's rest, from the separator that
// ends the remembered prefix on.
struct RestShape {
  int separators = 0;      // behind the first one
  bool backslash = false;  // a "\" among them
};

// The rest value[end, size) read unit by unit: false when a unit could turn
// into a separator by decoding (%, &) or make a drive (:), or a component
// is empty (two separators together, one at the end).
bool ReadRestPlain(std::u16string_view value, size_t end, bool slashSeparates, RestShape& shape) {
  bool componentEmpty = true;
  for (size_t i = end + 1; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c == u'\\' || (c == u'/' && slashSeparates)) {
      if (componentEmpty) return false;
      ++shape.separators;
      shape.backslash |= c == u'\\';
      componentEmpty = true;
      continue;
    }
    if (c == u'%' || c == u':' || c == u'&') return false;
    componentEmpty = false;
  }
  shape.backslash |= value[end] == u'\\';
  return !componentEmpty;
}

#ifdef PICRELINK_MEMO_SSE2
// Bit k of each mask for unit k of the 16 units in a and b.
struct UnitMasks {
  unsigned separator;
  unsigned backslash;
  unsigned refused;  // % : &
};

inline unsigned MaskOf(__m128i low, __m128i high) {
  // The lanes are 0 or -1: packed to bytes they keep that.
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
}

inline UnitMasks MasksOf(__m128i a, __m128i b, __m128i slash) {
  const __m128i backslash = _mm_set1_epi16(u'\\');
  const __m128i percent = _mm_set1_epi16(u'%');
  const __m128i colon = _mm_set1_epi16(u':');
  const __m128i amp = _mm_set1_epi16(u'&');
  const __m128i backA = _mm_cmpeq_epi16(a, backslash);
  const __m128i backB = _mm_cmpeq_epi16(b, backslash);
  const __m128i sepA = _mm_or_si128(backA, _mm_cmpeq_epi16(a, slash));
  const __m128i sepB = _mm_or_si128(backB, _mm_cmpeq_epi16(b, slash));
  const __m128i badA =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(a, percent), _mm_cmpeq_epi16(a, colon)),
                   _mm_cmpeq_epi16(a, amp));
  const __m128i badB =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(b, percent), _mm_cmpeq_epi16(b, colon)),
                   _mm_cmpeq_epi16(b, amp));
  return {MaskOf(sepA, sepB), MaskOf(backA, backB), MaskOf(badA, badB)};
}

// The prefix and the rest of a value of 16 units or more, 16 units at a
// time: the prefix compared with the remembered one, the rest read as
// ReadRestPlain reads it. A last block of either ends where the prefix or the
// value does, overlapping the one before; the units it has no business with
// are masked off.
//
// padded holds the prefix and then, from padded + end + 16, the bits to set
// in each unit before the compare: 0x20 where the prefix has a small ASCII
// letter (when letter case is folded), which turns exactly its capital into
// it (the lanes are 16 bits wide); each part is followed by 16 units of 0.
//
// Of the empty components only the first needs a test of its own: any other
// one takes two separators of the rest, one more than a level allows, or
// ends the value, which the folder rule reads as the same folder.
bool ReadBlocks(std::u16string_view value, const char16_t* padded, size_t end, bool slashSeparates,
                RestShape& shape) {
  const size_t size = value.size();
  const char16_t* units = value.data();
  if (units[end + 1] == u'\\' || (slashSeparates && units[end + 1] == u'/')) return false;
  const char16_t* foldBits = padded + end + 16;
  const auto load = [](const char16_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  const auto same = [&](size_t at) {
    return _mm_cmpeq_epi16(_mm_or_si128(load(units + at), load(foldBits + at)), load(padded + at));
  };
  // The prefix: blocks from 0, the last one ending with the value at the
  // latest; the units from end on are no part of it.
  for (size_t block = 0; block < end; block += 16) {
    const size_t at = std::min(block, size - 16);
    const unsigned equal = MaskOf(same(at), same(at + 8)) >> (block - at);
    const unsigned prefixUnits = (1u << std::min<size_t>(end - block, 16)) - 1;
    if ((equal & prefixUnits) != prefixUnits) return false;
  }
  // The rest: blocks from end + 1, the last one ending with the value.
  const __m128i slash = _mm_set1_epi16(static_cast<short>(slashSeparates ? u'/' : u'\\'));
  int separators = 0;
  bool backslash = units[end] == u'\\';
  for (size_t block = end + 1; block < size; block += 16) {
    const size_t at = std::min(block, size - 16);
    const size_t shift = block - at;
    const UnitMasks masks = MasksOf(load(units + at), load(units + at + 8), slash);
    if ((masks.refused >> shift) != 0) return false;
    // Few separators: one step each (no popcount instruction is assumed).
    for (unsigned bits = masks.separator >> shift; bits != 0; bits &= bits - 1) ++separators;
    backslash |= (masks.backslash >> shift) != 0;
  }
  shape.separators = separators;
  shape.backslash = backslash;
  return true;
}
#endif

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
  // For ReadBlocks, which reads 16 units from any place in the prefix: the
  // prefix, then the bits that fold letter case into it.
  padded_.assign(prefix_);
  padded_.append(16, u'\0');
  for (const char16_t c : prefix_) {
    padded_ += !local_ && c >= u'a' && c <= u'z' ? u'\x20' : u'\0';
  }
  padded_.append(16, u'\0');
  separators_ = oneHigher ? 1 : 0;
  valid_ = true;
}

bool FolderMemo::MatchesFromPrefix(std::u16string_view value, size_t& form,
                                   unsigned& spelling) const {
  const size_t end = prefix_.size();
  const bool slashSeparates = local_ || urlPath_;
  RestShape shape;
#ifdef PICRELINK_MEMO_SSE2
  const bool read = value.size() >= 16
                        ? ReadBlocks(value, padded_.data(), end, slashSeparates, shape)
                        : BeginsWithSmall(value, prefix_, !local_) &&
                              ReadRestPlain(value, end, slashSeparates, shape);
#else
  const bool read =
      BeginsWithSmall(value, prefix_, !local_) && ReadRestPlain(value, end, slashSeparates, shape);
#endif
  if (!read || shape.separators != separators_) return false;
  form = form_;
  spelling =
      spelling_ | (urlPath_ && shape.backslash ? static_cast<unsigned>(kSpellingBackslash) : 0u);
  return true;
}

}  // namespace picrelink
