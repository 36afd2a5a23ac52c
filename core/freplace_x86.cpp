// The vector searches: the first and the last character of find are tested at
// many candidate positions at once, and only where both fit is the whole of
// find compared. Candidates are taken lowest first, so the first full match is
// the leftmost one, as in the scalar search.
#include "core/freplace_kernels.h"

#if defined(PICRELINK_HAVE_X86_SEARCH)

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/freplace.h"
#include "core/replace_span.h"

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define PICRELINK_TARGET_AVX2
#else
#define PICRELINK_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace picrelink::kernels {
namespace {

inline bool IsAsciiLetter(char16_t c) {
  const auto lower = static_cast<char16_t>(c | 0x20);
  return lower >= u'a' && lower <= u'z';
}

// A character of find tested in every lane at once as (lane | orBit) == value.
// For a letter under folding, orBit 0x20 turns exactly its two ASCII cases
// into its small letter: the lanes are 16 bits wide, so a unit such as U+0161
// or U+FF41, whose low byte looks like a letter, keeps its high bits and
// stays unequal. Every other character has orBit 0 and compares exactly.
struct LaneTest {
  int16_t orBit;
  int16_t value;
};

inline LaneTest MakeLaneTest(char16_t c, bool foldAscii) {
  const int bit = foldAscii && IsAsciiLetter(c) ? 0x20 : 0;
  return {static_cast<int16_t>(bit), static_cast<int16_t>(c | bit)};
}

// Lanes in which text and find hold the same character; with foldBit 0x20 in
// every lane the ASCII letters of find also take their other case. The
// letter test is signed, which keeps every unit from U+8000 up out of it.
inline __m128i EqualLanes(__m128i text, __m128i find, __m128i foldBit) {
  const __m128i lower = _mm_or_si128(find, _mm_set1_epi16(0x20));
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(lower, _mm_set1_epi16(u'a' - 1)),
                                       _mm_cmpgt_epi16(_mm_set1_epi16(u'z' + 1), lower));
  const __m128i bit = _mm_and_si128(letter, foldBit);
  return _mm_cmpeq_epi16(_mm_or_si128(text, bit), _mm_or_si128(find, bit));
}

inline bool EqualBlock(const char16_t* at, const char16_t* find, __m128i foldBit) {
  const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(find));
  return _mm_movemask_epi8(EqualLanes(t, f, foldBit)) == 0xFFFF;
}

// Whether at[i] and find[i] are the same character for i in [begin, end).
inline bool UnitsMatch(const char16_t* at, std::u16string_view find, size_t begin, size_t end,
                       bool foldAscii) {
  for (size_t i = begin; i < end; ++i) {
    const char16_t a = at[i];
    const char16_t b = find[i];
    if (a == b) continue;
    if (!foldAscii || !IsAsciiLetter(b) || (a | 0x20) != (b | 0x20)) return false;
  }
  return true;
}

// Whether find lies at `at`, given that its first and last characters do.
// Finds of 8 or more are compared 8 characters at a time, the last block
// overlapping the one before it instead of reading past either text.
inline bool RestMatches(const char16_t* at, std::u16string_view find, bool foldAscii,
                        __m128i foldBit) {
  const size_t f = find.size();
  if (f >= 8) {
    size_t i = 0;
    for (; i + 8 <= f; i += 8) {
      if (!EqualBlock(at + i, find.data() + i, foldBit)) return false;
    }
    return i == f || EqualBlock(at + f - 8, find.data() + f - 8, foldBit);
  }
  return UnitsMatch(at, find, 1, f - 1, foldAscii);
}

// The 16-lane forms of EqualLanes and RestMatches.
PICRELINK_TARGET_AVX2
inline __m256i EqualLanes256(__m256i text, __m256i find, __m256i foldBit) {
  const __m256i lower = _mm256_or_si256(find, _mm256_set1_epi16(0x20));
  const __m256i letter =
      _mm256_and_si256(_mm256_cmpgt_epi16(lower, _mm256_set1_epi16(u'a' - 1)),
                       _mm256_cmpgt_epi16(_mm256_set1_epi16(u'z' + 1), lower));
  const __m256i bit = _mm256_and_si256(letter, foldBit);
  return _mm256_cmpeq_epi16(_mm256_or_si256(text, bit), _mm256_or_si256(find, bit));
}

PICRELINK_TARGET_AVX2
inline bool EqualBlock256(const char16_t* at, const char16_t* find, __m256i foldBit) {
  const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(find));
  return _mm256_movemask_epi8(EqualLanes256(t, f, foldBit)) == -1;
}

PICRELINK_TARGET_AVX2
inline bool RestMatches256(const char16_t* at, std::u16string_view find, bool foldAscii,
                           __m256i foldBit) {
  const size_t f = find.size();
  if (f < 16) return RestMatches(at, find, foldAscii, _mm256_castsi256_si128(foldBit));
  size_t i = 0;
  for (; i + 16 <= f; i += 16) {
    if (!EqualBlock256(at + i, find.data() + i, foldBit)) return false;
  }
  return i == f || EqualBlock256(at + f - 16, find.data() + f - 16, foldBit);
}

// The tests of find's first and last characters in every lane, and the
// fold bit, made once per search.
struct Lanes256 {
  __m256i headOr;
  __m256i headValue;
  __m256i tailOr;
  __m256i tailValue;
  __m256i foldBit;
};

PICRELINK_TARGET_AVX2
inline Lanes256 MakeLanes256(std::u16string_view find, bool foldAscii) {
  const LaneTest head = MakeLaneTest(find.front(), foldAscii);
  const LaneTest tail = MakeLaneTest(find.back(), foldAscii);
  return {_mm256_set1_epi16(head.orBit), _mm256_set1_epi16(head.value),
          _mm256_set1_epi16(tail.orBit), _mm256_set1_epi16(tail.value),
          _mm256_set1_epi16(foldAscii ? 0x20 : 0)};
}

// Candidates p to p + 15 whose first and last characters fit: two mask bits
// per lane.
PICRELINK_TARGET_AVX2
inline uint32_t Candidates256(const char16_t* at, size_t f, const Lanes256& lanes) {
  const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i end = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + f - 1));
  const __m256i hit = _mm256_and_si256(
      _mm256_cmpeq_epi16(_mm256_or_si256(first, lanes.headOr), lanes.headValue),
      _mm256_cmpeq_epi16(_mm256_or_si256(end, lanes.tailOr), lanes.tailValue));
  return static_cast<uint32_t>(_mm256_movemask_epi8(hit));
}

// The same for candidates p to p + 31.
PICRELINK_TARGET_AVX2
inline uint64_t Candidates32(const char16_t* at, size_t f, const Lanes256& lanes) {
  return Candidates256(at, f, lanes) | uint64_t{Candidates256(at + 16, f, lanes)} << 32;
}

// The replacement in whole 16-unit blocks: up to 15 units more than it holds
// are written, which the caller's slack allows for.
PICRELINK_TARGET_AVX2
inline void CopyReplacement256(const ReplacePattern& pattern, char16_t* to) {
  const char16_t* from = pattern.PaddedReplacement();
  const size_t r = pattern.Replacement().size();
  for (size_t i = 0; i < r; i += 16) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)));
  }
}

}  // namespace

size_t FindSse2(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                size_t from) {
  const size_t f = find.size();
  if (f == 0 || length < f || from > length - f) return kNoOccurrence;
  const size_t last = length - f;  // the last candidate position
  const LaneTest head = MakeLaneTest(find.front(), foldAscii);
  const LaneTest tail = MakeLaneTest(find.back(), foldAscii);
  const __m128i headOr = _mm_set1_epi16(head.orBit);
  const __m128i headValue = _mm_set1_epi16(head.value);
  const __m128i tailOr = _mm_set1_epi16(tail.orBit);
  const __m128i tailValue = _mm_set1_epi16(tail.value);
  const __m128i foldBit = _mm_set1_epi16(foldAscii ? 0x20 : 0);

  size_t p = from;
  for (; p + 7 <= last; p += 8) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p));
    const __m128i end = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + f - 1));
    const __m128i hit =
        _mm_and_si128(_mm_cmpeq_epi16(_mm_or_si128(first, headOr), headValue),
                      _mm_cmpeq_epi16(_mm_or_si128(end, tailOr), tailValue));
    // Two mask bits per lane.
    auto bits = static_cast<uint32_t>(_mm_movemask_epi8(hit));
    while (bits != 0) {
      const size_t candidate = p + static_cast<size_t>(std::countr_zero(bits)) / 2;
      if (RestMatches(text + candidate, find, foldAscii, foldBit)) return candidate;
      bits &= bits - 1;
      bits &= bits - 1;
    }
  }
  return FindScalar(text, length, find, foldAscii, p);
}

PICRELINK_TARGET_AVX2
size_t FindAvx2(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                size_t from) {
  const size_t f = find.size();
  if (f == 0 || length < f || from > length - f) return kNoOccurrence;
  const size_t last = length - f;  // the last candidate position
  const Lanes256 lanes = MakeLanes256(find, foldAscii);

  // 32 candidates per step, so that text without candidates costs one
  // branch per 32 characters.
  size_t p = from;
  for (; p + 31 <= last; p += 32) {
    uint64_t bits = Candidates32(text + p, f, lanes);
    while (bits != 0) {
      const size_t candidate = p + static_cast<size_t>(std::countr_zero(bits)) / 2;
      if (RestMatches256(text + candidate, find, foldAscii, lanes.foldBit)) return candidate;
      bits &= bits - 1;
      bits &= bits - 1;
    }
  }
  for (; p + 15 <= last; p += 16) {
    uint32_t bits = Candidates256(text + p, f, lanes);
    while (bits != 0) {
      const size_t candidate = p + static_cast<size_t>(std::countr_zero(bits)) / 2;
      if (RestMatches256(text + candidate, find, foldAscii, lanes.foldBit)) return candidate;
      bits &= bits - 1;
      bits &= bits - 1;
    }
  }
  return FindScalar(text, length, find, foldAscii, p);
}

// Each 32-unit block is stored to out as it is loaded for the candidate
// test, in the place it takes if no occurrence comes before it; an
// occurrence moves that place, so the search goes on from its end with fresh
// loads and the stores after it overwrite what the block put there.
PICRELINK_TARGET_AVX2
ReplaceStep ReplaceAvx2(const char16_t* text, size_t length, size_t from, size_t searchEnd,
                        const ReplacePattern& pattern, char16_t* out) {
  if (from >= searchEnd) return {from, 0, 0};
  const std::u16string_view find = pattern.Find();
  const bool foldAscii = pattern.FoldAscii();
  const size_t f = find.size();
  const size_t r = pattern.Replacement().size();
  // Candidates are the positions below lastStart.
  const size_t lastStart = length >= f ? std::min(searchEnd, length - f + 1) : 0;
  const Lanes256 lanes = MakeLanes256(find, foldAscii);

  // Unit u of the text, for u >= k, goes to out[o + u - k].
  size_t k = from;
  size_t o = 0;
  int64_t occurrences = 0;
  size_t p = from;
  while (p + 32 <= lastStart) {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + p));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + p + 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o + (p - k)), a0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o + (p - k) + 16), a1);
    uint64_t bits = Candidates32(text + p, f, lanes);
    size_t next = p + 32;
    while (bits != 0) {
      const size_t candidate = p + static_cast<size_t>(std::countr_zero(bits)) / 2;
      if (RestMatches256(text + candidate, find, foldAscii, lanes.foldBit)) {
        o += candidate - k;  // the gap before it is stored already
        CopyReplacement256(pattern, out + o);
        o += r;
        k = candidate + f;
        ++occurrences;
        next = k;
        break;
      }
      bits &= bits - 1;
      bits &= bits - 1;
    }
    p = next;
  }
  // Units [k, stored) are in out; the last few candidates one at a time.
  size_t stored = p;
  for (; p < lastStart; ++p) {
    if (!UnitsMatch(text + p, find, 0, f, foldAscii)) continue;
    std::memcpy(out + o + (stored - k), text + stored, (p - stored) * sizeof(char16_t));
    o += p - k;
    CopyReplacement256(pattern, out + o);
    o += r;
    k = p + f;
    stored = k;
    ++occurrences;
    p = k - 1;
  }
  const size_t end = std::max(k, searchEnd);
  if (end > stored) {
    std::memcpy(out + o + (stored - k), text + stored, (end - stored) * sizeof(char16_t));
  }
  return {end, o + (end - k), occurrences};
}

bool CpuHasAvx2() {
#if defined(_MSC_VER) && !defined(__clang__)
  int info[4];
  __cpuid(info, 0);
  if (info[0] < 7) return false;
  __cpuid(info, 1);
  const bool osSavesRegisters = (info[2] & (1 << 27)) != 0;
  const bool avx = (info[2] & (1 << 28)) != 0;
  // The system must save and restore the full vector registers.
  if (!osSavesRegisters || !avx || (_xgetbv(0) & 6) != 6) return false;
  __cpuidex(info, 7, 0);
  return (info[1] & (1 << 5)) != 0;
#else
  // Also checks that the system saves the full vector registers.
  return __builtin_cpu_supports("avx2") != 0;
#endif
}

}  // namespace picrelink::kernels

#endif  // PICRELINK_HAVE_X86_SEARCH
