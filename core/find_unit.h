#pragma once
// The next place of one code unit in a text, eight units at a time where the
// CPU has SSE2 (every x86-64 CPU does), one at a time elsewhere. For short
// searches that run often, such as the closing quotation mark of every
// reference, where the set-up of the longer searches costs more than it
// saves; inline, since a call would cost about as much as such a search.
#include <bit>
#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PICRELINK_FIND_UNIT_SSE2 1
#endif

namespace picrelink {

// 0-based index of the first unit equal to unit in text[from, length), or
// length when there is none.
inline size_t FindUnit(const char16_t* text, size_t length, char16_t unit, size_t from) {
  size_t i = from;
#ifdef PICRELINK_FIND_UNIT_SSE2
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  for (; i + 8 <= length; i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, wanted));
    if (mask != 0)
      return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask))) / 2;
  }
#endif
  for (; i < length; ++i) {
    if (text[i] == unit) return i;
  }
  return length;
}

}  // namespace picrelink
