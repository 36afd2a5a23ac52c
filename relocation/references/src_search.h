#pragma once
// The search for src="" that the reference scan runs once per reference:
// inline, with nothing to set up per call, 16 candidates at a time where the
// CPU has SSE2 (every x86-64 CPU does). Its result is FindOccurrence's for
// the same text, as the scan's tests check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/freplace.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#include <bit>
#define PICRELINK_SRC_SEARCH_SSE2 1
#endif

namespace picrelink {

inline constexpr std::u16string_view kSrcHeadText = u"src=\"\"";

// 0-based index of the first src="" in text[from, length), or kNoOccurrence.
inline size_t FindSrcHead(const char16_t* text, size_t length, size_t from) {
  constexpr size_t f = kSrcHeadText.size();
  if (length < f || from > length - f) return kNoOccurrence;
  const size_t last = length - f;  // the last candidate position
  size_t p = from;
  // Whether src="" lies at text + candidate, given its "s" and last quotation
  // mark: its four units between compared at once.
  const auto middleFits = [text](size_t candidate) {
    static constexpr char16_t kMiddle[4] = {u'r', u'c', u'=', u'"'};
    return std::memcmp(text + candidate + 1, kMiddle, sizeof kMiddle) == 0;
  };
#ifdef PICRELINK_SRC_SEARCH_SSE2
  const __m128i s = _mm_set1_epi16(u's');
  const __m128i quote = _mm_set1_epi16(u'"');
  // Candidates p to p + 15: an "s" there and a quotation mark 5 units on.
  for (; p + 15 <= last; p += 16) {
    const auto at = [text, p](size_t offset) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + offset));
    };
    const __m128i low = _mm_and_si128(_mm_cmpeq_epi16(at(0), s), _mm_cmpeq_epi16(at(f - 1), quote));
    const __m128i high =
        _mm_and_si128(_mm_cmpeq_epi16(at(8), s), _mm_cmpeq_epi16(at(8 + f - 1), quote));
    auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    while (bits != 0) {
      const size_t candidate = p + static_cast<size_t>(std::countr_zero(bits));
      if (middleFits(candidate)) return candidate;
      bits &= bits - 1;
    }
  }
#endif
  for (; p <= last; ++p) {
    if (text[p] == u's' && text[p + f - 1] == u'"' && middleFits(p)) return p;
  }
  return kNoOccurrence;
}

}  // namespace picrelink
