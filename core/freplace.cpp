#include "core/freplace.h"

#include <cstring>
#include <limits>

#include "core/error.h"

namespace picrelink {
namespace {

inline char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

struct ExactCompare {
  static bool Equal(char16_t a, char16_t b) { return a == b; }
};
struct NoCaseCompare {
  static bool Equal(char16_t a, char16_t b) { return FoldAscii(a) == FoldAscii(b); }
};

template <typename Compare>
size_t Find(const char16_t* text, size_t length, std::u16string_view find, size_t from) {
  const size_t f = find.size();
  if (f == 0 || length < f || from > length - f) return kNoOccurrence;
  // Candidates in order, first character first, then the last character
  // backwards down to the second.
  for (size_t p = from; p <= length - f; ++p) {
    const char16_t* at = text + p;
    if (!Compare::Equal(at[0], find[0])) continue;
    size_t i = f - 1;
    while (i >= 1 && Compare::Equal(at[i], find[i])) --i;
    if (i < 1) return p;
  }
  return kNoOccurrence;
}

// The 1-based, 32-bit interface over the search above.
int32_t Search(const char16_t* source, const char16_t* find, int32_t sourceLen, int32_t findLen,
               int32_t start, bool foldAscii) {
  if (sourceLen <= 0 || findLen <= 0 || start < 1) return 0;
  const size_t p = FindOccurrence(source, static_cast<size_t>(sourceLen),
                                  std::u16string_view(find, static_cast<size_t>(findLen)),
                                  foldAscii, static_cast<size_t>(start) - 1);
  return p == kNoOccurrence ? 0 : static_cast<int32_t>(p + 1);
}

int32_t CheckedLength(std::u16string_view text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw Error("Text too long: more than 2147483647 characters");
  }
  return static_cast<int32_t>(text.size());
}

}  // namespace

int32_t SearchExact(const char16_t* source, const char16_t* find, int32_t sourceLen,
                    int32_t findLen, int32_t start) {
  return Search(source, find, sourceLen, findLen, start, false);
}

int32_t SearchNoCase(const char16_t* source, const char16_t* find, int32_t sourceLen,
                     int32_t findLen, int32_t start) {
  return Search(source, find, sourceLen, findLen, start, true);
}

size_t FindOccurrence(const char16_t* text, size_t length, std::u16string_view find,
                      bool foldAscii, size_t from) {
  return foldAscii ? Find<NoCaseCompare>(text, length, find, from)
                   : Find<ExactCompare>(text, length, find, from);
}

void MoveChars(const char16_t* source, char16_t* dest, int32_t count) {
  if (count > 0) std::memcpy(dest, source, static_cast<size_t>(count) * sizeof(char16_t));
}

std::u16string ReplaceAll(std::u16string_view source, std::u16string_view find,
                          std::u16string_view replacement, bool caseSensitive,
                          int64_t* occurrences) {
  const int32_t L = CheckedLength(source);
  const int32_t F = CheckedLength(find);
  const int32_t R = CheckedLength(replacement);
  if (F == 0) throw Error("ReplaceAll: the text to find is empty");

  const auto search = (R == 0 || caseSensitive) ? &SearchExact : &SearchNoCase;

  // Room for the worst case, reserved once: at most L div F occurrences.
  const int64_t room = R > F ? int64_t{L} + (int64_t{L} * R) / F + R : int64_t{L};
  std::u16string result;
  result.resize(static_cast<size_t>(room));
  char16_t* out = result.data();

  int64_t count = 0;
  int64_t k = 1;  // 64-bit: a match ending on the last of 2^31 - 1 characters moves it past
  int64_t o = 0;
  while (k <= L) {
    const int32_t p = search(source.data(), find.data(), L, F, static_cast<int32_t>(k));
    if (p == 0) break;
    MoveChars(source.data() + (k - 1), out + o, static_cast<int32_t>(p - k));
    o += p - k;
    MoveChars(replacement.data(), out + o, R);
    o += R;
    k = int64_t{p} + F;
    ++count;
  }
  if (k <= L) MoveChars(source.data() + (k - 1), out + o, static_cast<int32_t>(L - k + 1));
  result.resize(static_cast<size_t>(o + (L - k + 1)));
  if (occurrences != nullptr) *occurrences = count;
  return result;
}

}  // namespace picrelink
