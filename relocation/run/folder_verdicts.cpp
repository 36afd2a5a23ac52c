#include "relocation/run/folder_verdicts.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PICRELINK_VERDICTS_SSE2 1
#endif

namespace picrelink {
namespace {

// The ASCII units a name may not hold: "\" and "/" end it; "%" (an escape),
// "#" and "?" (where a browser cuts a URL), "&" (a character reference) and
// ":" (a drive's, which the folder rule reads) could change a decision.
constexpr uint64_t Bit(char16_t c) { return uint64_t{1} << (c & 63); }
constexpr uint64_t kStopsBelow64 =
    Bit(u'%') | Bit(u'#') | Bit(u'?') | Bit(u'&') | Bit(u':') | Bit(u'/');
constexpr uint64_t kStopsBelow128 = Bit(u'\\');

bool Stops(char16_t c) {
  if (c < 64) return (kStopsBelow64 >> c) & 1;
  if (c < 128) return (kStopsBelow128 >> (c - 64)) & 1;
  return false;
}

}  // namespace

bool FolderVerdicts::SplitName(std::u16string_view value, size_t& nameStart) {
  size_t i = value.size();
#ifdef PICRELINK_VERDICTS_SSE2
  // Most names are short: the last eight units hold the separator before
  // them, found with a few compares instead of a loop over the units.
  if (i >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value.data() + i - 8));
    const auto is = [&units](char16_t c) { return _mm_cmpeq_epi16(units, _mm_set1_epi16(c)); };
    const unsigned separators =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(is(u'\\'), is(u'/'))));
    const unsigned others = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_or_si128(is(u'%'), is(u'#')), _mm_or_si128(is(u'?'), is(u'&'))),
        is(u':'))));
    if (separators != 0) {
      // Two mask bits per unit: the last separator's unit is the highest.
      const int high = 31 - std::countl_zero(separators);
      const size_t last = i - 8 + static_cast<size_t>(high) / 2;
      if ((others >> high) != 0) return false;  // a unit behind the separator stops
      nameStart = last + 1;
      return nameStart < value.size();
    }
    if (others != 0) return false;
    i -= 8;
  }
#endif
  while (i > 0) {
    const char16_t c = value[i - 1];
    if (Stops(c)) {
      if (c != u'\\' && c != u'/') return false;
      nameStart = i;
      return i < value.size();
    }
    --i;
  }
  return false;
}

namespace {

bool SameUnits(const char16_t* a, const char16_t* b, size_t n) {
#ifdef PICRELINK_VERDICTS_SSE2
  if (n >= 8) {
    // Eight units at a time, the last eight overlapping the ones before.
    const auto differ = [a, b](size_t at) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
      return _mm_movemask_epi8(_mm_cmpeq_epi16(x, y)) != 0xFFFF;
    };
    if (differ(n - 8)) return false;
    for (size_t at = 0; at + 8 < n; at += 8) {
      if (differ(at)) return false;
    }
    return true;
  }
#endif
  return std::memcmp(a, b, n * sizeof(char16_t)) == 0;
}

}  // namespace

const FolderVerdict* FolderVerdicts::Find(std::u16string_view folderPart) {
  const auto holds = [folderPart](const Slot& slot) {
    return slot.kept && slot.folderPart.size() == folderPart.size() &&
           SameUnits(slot.folderPart.data(), folderPart.data(), folderPart.size());
  };
  if (holds(slots_[last_])) return &slots_[last_].verdict;
  for (size_t k = 0; k < kRemembered; ++k) {
    if (k != last_ && holds(slots_[k])) {
      last_ = k;
      return &slots_[k].verdict;
    }
  }
  return nullptr;
}

FolderVerdict& FolderVerdicts::Begin(std::u16string_view folderPart) {
  // A verdict begun and not kept leaves its slot for the next one.
  if (slots_[last_].kept || slots_[last_].folderPart.empty()) {
    last_ = next_;
    next_ = (next_ + 1) % kRemembered;
  }
  Slot& slot = slots_[last_];
  slot.kept = false;
  slot.folderPart.assign(folderPart);
  FolderVerdict& verdict = slot.verdict;
  verdict.otherFolderReferences = 0;
  verdict.inMissingFolders = 0;
  verdict.inOtherKind = 0;
  verdict.picture = FolderVerdict::Picture::None;
  verdict.index = nullptr;
  verdict.folder.path.clear();  // keeps its room
  verdict.folder.hash = PictureNames::kEmptyHash;
  return verdict;
}

void FolderVerdicts::Keep() { slots_[last_].kept = true; }

}  // namespace picrelink
